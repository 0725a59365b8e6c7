// ANSI/OEM conversions of Korvex.dll: the on/off switch, the buffer variant's bounds,
// the Latin spelling of Ukrainian letters and the conversion log lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "korvex_host.h"
#include "kvconvert.h"

namespace {

#define KV(name) korvex_host::proc<decltype(&::name)>(#name)

constexpr char kCanary = '#';

// What KCharToOemForTranslate should give: the spelt text, then the system's OEM step.
std::string oem(const std::string& ansi) {
  std::string out(ansi.size() + 1, '\0');
  CharToOemA(ansi.c_str(), out.data());
  out.resize(std::strlen(out.c_str()));
  return out;
}

std::string translate(const std::string& src, int dst_size, int* result = nullptr) {
  char dst[64];
  std::memset(dst, kCanary, sizeof dst);
  const int r = KV(KCharToOemForTranslate)(src.data(), static_cast<int>(src.size()), dst, dst_size,
                                           "conv.cpp", 1);
  if (result != nullptr) *result = r;
  for (int i = dst_size > 0 ? dst_size : 0; i < static_cast<int>(sizeof dst); ++i) {
    EXPECT_EQ(dst[i], kCanary) << "written past the destination at " << i;
  }
  if (dst_size <= 0) return std::string(dst, 1) == std::string(1, kCanary) ? "<untouched>" : "?";
  return std::string(dst);
}

TEST(CharToOem, ConversionOffCopiesAndAnswersOne) {
  KV(SetCharConvertOptions)(0, 0);
  char same[] = "\xC0\xE9 text";
  EXPECT_EQ(KV(KCharToOemA)(same, same, "conv.cpp", 1), 1);
  EXPECT_STREQ(same, "\xC0\xE9 text");

  char dst[16];
  EXPECT_EQ(KV(KCharToOemA)("\xC0\xE9z", dst, "conv.cpp", 2), 1);
  EXPECT_STREQ(dst, "\xC0\xE9z");
  EXPECT_EQ(KV(KOemToCharA)("\x80\x82z", dst, "conv.cpp", 3), 1);
  EXPECT_STREQ(dst, "\x80\x82z");
}

TEST(CharToOem, ConversionOnMatchesTheSystem) {
  KV(SetCharConvertOptions)(1, 0);
  const char text[] = "\xC0\xE9\xFF abc";
  char expected[16], got[16];
  const BOOL system_result = CharToOemA(text, expected);
  EXPECT_EQ(KV(KCharToOemA)(text, got, "conv.cpp", 1), system_result);
  EXPECT_STREQ(got, expected);

  char back_expected[16], back[16];
  OemToCharA(expected, back_expected);
  KV(KOemToCharA)(expected, back, "conv.cpp", 2);
  EXPECT_STREQ(back, back_expected);

  char in_place[16];
  std::strcpy(in_place, text);
  KV(KCharToOemA)(in_place, in_place, "conv.cpp", 3);
  EXPECT_STREQ(in_place, expected);
}

TEST(CharToOemBuff, ConversionOffCopiesLengthMinusOneAndAZero) {
  KV(SetCharConvertOptions)(0, 0);
  char dst[8];
  std::memset(dst, kCanary, sizeof dst);
  EXPECT_EQ(KV(KCharToOemBuffA)("abcdef", dst, 4, "conv.cpp", 1), 1);
  EXPECT_STREQ(dst, "abc");
  EXPECT_EQ(dst[4], kCanary);

  // A source shorter than the length is not read past its end.
  std::memset(dst, kCanary, sizeof dst);
  KV(KCharToOemBuffA)("ab", dst, 6, "conv.cpp", 2);
  EXPECT_STREQ(dst, "ab");
  EXPECT_EQ(dst[6], kCanary);
}

TEST(CharToOemBuff, LengthZeroOrLessDoesNothing) {
  for (int convert : {0, 1}) {
    KV(SetCharConvertOptions)(convert, 0);
    for (int length : {0, -1, -100}) {
      char dst[4] = {kCanary, kCanary, kCanary, kCanary};
      EXPECT_EQ(KV(KCharToOemBuffA)("abc", dst, length, "conv.cpp", 1), 1);
      EXPECT_EQ(std::string(dst, 4), std::string(4, kCanary)) << length;
    }
  }
}

TEST(CharToOemBuff, ConversionOnConvertsExactlyTheLength) {
  KV(SetCharConvertOptions)(1, 0);
  const char text[] = "\xC0\xE9xyz";
  char expected[8];
  std::memset(expected, kCanary, sizeof expected);
  CharToOemBuffA(text, expected, 3);
  char dst[8];
  std::memset(dst, kCanary, sizeof dst);
  EXPECT_EQ(KV(KCharToOemBuffA)(text, dst, 3, "conv.cpp", 1), 1);
  EXPECT_EQ(std::string(dst, 8), std::string(expected, 8));
}

TEST(Translate, UkrainianIeAtAWordStartAndInside) {
  KV(SetCharConvertOptions)(0, 0);
  EXPECT_EQ(translate("\xAAn\n", 32), "Yen\n");
  EXPECT_EQ(translate("n\xAA", 32), "nIe");
  EXPECT_EQ(translate("a \xAA \xBA", 32), "a Ye ye");
  EXPECT_EQ(translate("a\xBA", 32), "aie");
}

TEST(Translate, EveryLetterIsSpelt) {
  KV(SetCharConvertOptions)(0, 0);
  EXPECT_EQ(translate("\xA5\xB4\xB2\xB3", 32), "GgIi");
  EXPECT_EQ(translate("\xAF \xBF", 32), "Yi yi");
  EXPECT_EQ(translate("x\xAFx\xBF", 32), "xIxi");
  // Other bytes stay and then take the OEM step.
  int result = 0;
  EXPECT_EQ(translate("\xC0\xE9", 32, &result), oem("\xC0\xE9"));
  EXPECT_NE(result, 0);
}

TEST(Translate, StopsTwoShortOfTheDestinationSize) {
  KV(SetCharConvertOptions)(0, 0);
  EXPECT_EQ(translate("abcdef", 5), "abc");
  // A spelling that does not fit whole is left out.
  EXPECT_EQ(translate("ab\xAA", 5), "ab");
  EXPECT_EQ(translate("\xAA\xAA", 4), "Ye");
  EXPECT_EQ(translate("abc", 3), "a");
  EXPECT_EQ(translate("abc", 2), "");
  EXPECT_EQ(translate("abc", 1), "");
  EXPECT_EQ(translate("abc", 0), "<untouched>");
  EXPECT_EQ(translate("abc", -5), "<untouched>");
}

TEST(Translate, SourceLengthBoundsTheWalk) {
  KV(SetCharConvertOptions)(0, 0);
  char dst[16];
  KV(KCharToOemForTranslate)("abcdef", 2, dst, sizeof dst, "conv.cpp", 1);
  EXPECT_STREQ(dst, "ab");
}

TEST(Translate, SameBufferIsReadBeforeItIsOverwritten) {
  KV(SetCharConvertOptions)(0, 0);
  char text[16] = "\xAA\xAA\xAA";
  KV(KCharToOemForTranslate)(text, 3, text, sizeof text, "conv.cpp", 1);
  EXPECT_STREQ(text, "YeIeIe");
}

TEST(Translate, ConversionOnOnlyCopies) {
  KV(SetCharConvertOptions)(1, 0);
  int result = 0;
  EXPECT_EQ(translate("\xAAn\xC0", 32, &result), "\xAAn\xC0");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(translate("abcdef", 4), "abc");
  char dst[16];
  KV(KCharToOemForTranslate)("abcdef", 3, dst, sizeof dst, "conv.cpp", 1);
  EXPECT_STREQ(dst, "abc");
}

TEST(ConvertLog, LinesBeforeAndAfterWithTheCaller) {
  korvex_host::TempFolder dir("convlog");
  const std::string log = dir.file("events.log");
  korvex_host::on_own_thread([&] {
    korvex_host::proc<decltype(&::util_init)>("util_init")(log.c_str(), nullptr, nullptr, nullptr);
    KV(SetCharConvertOptions)(0, 1);
    char dst[16];
    KV(KCharToOemA)("abc", dst, "conv.cpp", 7);
    KV(KCharToOemBuffA)("xyz", dst, 3, "buf.cpp", 8);
    KV(KCharToOemForTranslate)("\xAA", 1, dst, sizeof dst, "tr.cpp", 9);
    KV(SetCharConvertOptions)(0, 0);
    KV(KOemToCharA)("silent", dst, "conv.cpp", 10);
  });
  const std::string text = korvex_host::read_file(log);
  const char* expected[] = {
      "SetCharConvertOptions(do_conversion=FALSE, do_log=TRUE)",
      "KCharToOemA before. Caller: conv.cpp:7. lpszSrc='abc'",
      "KCharToOemA after.  Caller: conv.cpp:7. lpszDst='abc'",
      "KCharToOemBuffA before. Caller: buf.cpp:8. lpszSrc='xyz', cchDstLength=3",
      "KCharToOemBuffA after.  Caller: buf.cpp:8. lpszDst='xy'",
      "KCharToOemForTranslate before. Caller: tr.cpp:9. lpszSrc='\xAA'",
      "KCharToOemForTranslate after.  Caller: tr.cpp:9. lpszDst='Ye'",
      "SetCharConvertOptions(do_conversion=FALSE, do_log=FALSE)",
  };
  std::size_t at = 0;
  for (const char* line : expected) {
    const std::size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << text;
    at = found;
  }
  EXPECT_EQ(text.find("silent"), std::string::npos);
}

}  // namespace
