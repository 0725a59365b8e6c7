// Errors raised in Korvex.dll and caught by type in this host, with code, message,
// source file and line.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "korvex_host.h"
#include "kvconvert.h"
#include "kverror.h"
#include "pclib.h"

namespace {

// An export of Korvex.dll by its exact name, typed as declared in the headers.
#define KV(name) korvex_host::proc<decltype(&::name)>(#name)

constexpr char kSourcePath[] = "C:\\src\\net\\conn.cpp";
constexpr int kSourceLine = 120;

void place_here() {
  KV(place)(kSourcePath, kSourceLine);
}

// The system's text for an OS error as the library should quote it: trailing blanks,
// line ends and punctuation at or below '-' cut.
std::string trimmed_system_text(DWORD code) {
  char text[4096] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  std::string s = text;
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= '-' && s.back() != ')') s.pop_back();
  return s;
}

TEST(KvRaise, ThrowsCErrorWithMessageAndPlace) {
  place_here();
  try {
    KV(kvraise)("bad %d", 5);
    FAIL() << "kvraise returned";
  } catch (const CError& e) {
    EXPECT_EQ(e.GetErrorCode(), 0);
    EXPECT_STREQ(e.GetErrorDesc(), "bad 5");
    EXPECT_STREQ(e.GetFile(), "conn.cpp");
    EXPECT_EQ(e.GetLine(), kSourceLine);
  }
}

TEST(KvRaise, WholeFamilyIsCaughtAsCEmptyError) {
  place_here();
  bool caught = false;
  try {
    KV(kvraisec)(17, "code %s", "seventeen");
    FAIL() << "kvraisec returned";
  } catch (const CEmptyError& e) {
    caught = true;
    EXPECT_EQ(e.GetErrorCode(), 17);
    EXPECT_STREQ(e.GetErrorDesc(), "code seventeen");
  }
  EXPECT_TRUE(caught);
}

TEST(KvRaise, CodeWithNullFormatGivesEmptyMessage) {
  place_here();
  try {
    KV(kvraisec)(42, nullptr);
    FAIL() << "kvraisec returned";
  } catch (const CError& e) {
    EXPECT_EQ(e.GetErrorCode(), 42);
    EXPECT_STREQ(e.GetErrorDesc(), "");
    EXPECT_STREQ(e.GetFile(), "conn.cpp");
  }
}

TEST(KvRaise, LongMessageIsCutTo4095) {
  const std::string long_text(5000, 'a');
  place_here();
  try {
    KV(kvraise)("%s", long_text.c_str());
    FAIL() << "kvraise returned";
  } catch (const CError& e) {
    EXPECT_EQ(std::strlen(e.GetErrorDesc()), 4095u);
    EXPECT_EQ(std::string(e.GetErrorDesc()), long_text.substr(0, 4095));
  }
}

TEST(KvRaise, FileIsTheTextAfterTheLastBackslashOrColon) {
  const std::string long_name(700, 'f');
  struct Case {
    std::string path;
    std::string file;
  } cases[] = {{"D:conn.cpp", "conn.cpp"},
               {"conn.cpp", "conn.cpp"},
               {"a\\b:c\\x.cpp", "x.cpp"},
               {"dir\\", ""},
               {long_name, std::string(299, 'f')}};  // place keeps 299 characters
  for (const Case& c : cases) {
    KV(place)(c.path.c_str(), 9);
    try {
      KV(kvraise)("x");
      FAIL() << "kvraise returned";
    } catch (const CError& e) {
      EXPECT_EQ(std::string(e.GetFile()), c.file) << c.path;
      EXPECT_EQ(e.GetLine(), 9);
    }
  }
}

// Two threads set their places, then raise one after the other, in an order forced by
// events: a place shared by the threads (the later one wins), or one that a raise on
// another thread resets (file "" and line 0), gives thread a a place not its own.
TEST(KvRaise, EachThreadRaisesWithItsOwnPlace) {
  struct Seen {
    bool raised = false;
    std::string file;
    int line = -1;
  };
  auto raise_here = [](Seen& seen) {
    try {
      KV(kvraise)("t");
    } catch (const CError& e) {
      seen = Seen{true, e.GetFile(), e.GetLine()};
    }
  };
  HANDLE a_placed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE b_raised = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto place = KV(place);
  Seen a, b;
  std::thread ta([&] {
    place("a.cpp", 1);
    SetEvent(a_placed);
    WaitForSingleObject(b_raised, INFINITE);
    raise_here(a);
  });
  std::thread tb([&] {
    WaitForSingleObject(a_placed, INFINITE);
    place("b.cpp", 2);
    raise_here(b);
    SetEvent(b_raised);
  });
  ta.join();
  tb.join();
  CloseHandle(a_placed);
  CloseHandle(b_raised);
  ASSERT_TRUE(a.raised && b.raised);
  EXPECT_EQ(a.file + ":" + std::to_string(a.line), "a.cpp:1");
  EXPECT_EQ(b.file + ":" + std::to_string(b.line), "b.cpp:2");
}

TEST(KvRaiseOs, DescribesTheLastOsErrorWithPlace) {
  auto raise_os = KV(kvraiseos);
  place_here();
  HANDLE h = CreateFileA("no such file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_EQ(h, INVALID_HANDLE_VALUE);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  try {
    raise_os("open %s", "x");
    FAIL() << "kvraiseos returned";
  } catch (const COSError& e) {
    const std::string expected = "(conn.cpp at 120): open x OS error description is '" +
                                 trimmed_system_text(ERROR_FILE_NOT_FOUND) + "'.";
    EXPECT_EQ(e.GetErrorCode(), 0);
    EXPECT_EQ(std::string(e.GetErrorDesc()), expected);
    EXPECT_GT(trimmed_system_text(ERROR_FILE_NOT_FOUND).size(), 0u);
    EXPECT_EQ(std::strchr(e.GetErrorDesc(), '\n'), nullptr);
    EXPECT_STREQ(e.GetFile(), "conn.cpp");
    EXPECT_EQ(e.GetLine(), kSourceLine);
  }
}

TEST(KvRaiseOs, PlaceBetweenTheFailureAndTheRaiseKeepsTheError) {
  // Looked up first: loading the library and finding exports may set the last error.
  auto place = KV(place);
  auto raise_os = KV(kvraiseos);
  SetLastError(ERROR_ACCESS_DENIED);
  place(kSourcePath, kSourceLine);
  try {
    raise_os("deny");
    FAIL() << "kvraiseos returned";
  } catch (const CError& e) {
    const std::string message = e.GetErrorDesc();
    EXPECT_NE(message.find("'" + trimmed_system_text(ERROR_ACCESS_DENIED) + "'."),
              std::string::npos)
        << message;
  }
}

TEST(KvRaiseSoc, CarriesTheSocketErrorAndTheLibraryText) {
  using SetSocketError = void WINAPI(int);
  auto set_socket_error = reinterpret_cast<SetSocketError*>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("ws2_32.dll"), "WSASetLastError")));
  ASSERT_NE(set_socket_error, nullptr);
  auto raise_soc = KV(kvraisesoc);
  place_here();
  set_socket_error(10061);
  try {
    raise_soc("connect %s", "y");
    FAIL() << "kvraisesoc returned";
  } catch (const CSocError& e) {
    EXPECT_EQ(e.GetErrorCode(), 10061);
    EXPECT_STREQ(e.GetErrorDesc(), "(conn.cpp at 120): connect y [10061] Connection refused.");
    EXPECT_STREQ(e.GetFile(), "conn.cpp");
    EXPECT_EQ(e.GetLine(), kSourceLine);
  }
}

TEST(KvRaiseCharToOem, UsesAtMost99CharactersOfTheFormat) {
  KV(SetCharConvertOptions)(0, 0);
  const std::string format(150, 'z');
  place_here();
  try {
    KV(kvraisec_chartooem)(3, format.c_str());
    FAIL() << "kvraisec_chartooem returned";
  } catch (const CError& e) {
    EXPECT_EQ(e.GetErrorCode(), 3);
    EXPECT_EQ(std::string(e.GetErrorDesc()), std::string(99, 'z'));
    EXPECT_STREQ(e.GetFile(), "conn.cpp");
  }
}

TEST(KvRaiseCharToOem, ShortFormatIsFormattedWhole) {
  for (int convert : {0, 1}) {
    KV(SetCharConvertOptions)(convert, 0);
    try {
      KV(kvraisec_chartooem)(4, "v=%d %s", 5, "ok");
      FAIL() << "kvraisec_chartooem returned";
    } catch (const CError& e) {
      EXPECT_STREQ(e.GetErrorDesc(), "v=5 ok") << "conversion " << convert;
    }
  }
}

TEST(KvRaiseCharToOem, ConversionCutAtTheLimitIsDroppedWhole) {
  KV(SetCharConvertOptions)(0, 0);
  // 97 letters then "%5d": the cut at 99 characters would leave "%5".
  const std::string cut_directive = std::string(97, 'y') + "%5d tail";
  // 98 letters then "%d": the cut would leave a lone "%".
  const std::string lone = std::string(98, 'y') + "%d tail";
  // 97 letters then "%%": both characters fit, a literal percent sign.
  const std::string literal = std::string(97, 'y') + "%%tail";
  const std::pair<std::string, std::string> cases[] = {{cut_directive, std::string(97, 'y')},
                                                       {lone, std::string(98, 'y')},
                                                       {literal, std::string(97, 'y') + "%"}};
  for (const auto& [format, expected] : cases) {
    try {
      KV(kvraisec_chartooem)(1, format.c_str(), 7);
      FAIL() << "kvraisec_chartooem returned";
    } catch (const CError& e) {
      EXPECT_EQ(std::string(e.GetErrorDesc()), expected);
    }
  }
}

TEST(KvRaiseCharToOem, FormatIsConvertedToOem) {
  KV(SetCharConvertOptions)(1, 0);
  const char format[] = "\xC0\xE9 %d";
  char expected[16];
  CharToOemA(format, expected);
  std::string want = expected;
  want.replace(want.find("%d"), 2, "8");
  try {
    KV(kvraisec_chartooem)(1, format, 8);
    FAIL() << "kvraisec_chartooem returned";
  } catch (const CError& e) {
    EXPECT_EQ(std::string(e.GetErrorDesc()), want);
  }
}

TEST(ConvertError, MapsKnownCodesFrom60000AndOthersToTheirLow16Bits) {
  auto convert = KV(convert_error);
  EXPECT_EQ(convert(0xC0000005u), 60000);
  EXPECT_EQ(convert(0x80000002u), 60001);
  EXPECT_EQ(convert(0xC0000094u), 60012);
  EXPECT_EQ(convert(0xC00000FDu), 60018);
  EXPECT_EQ(convert(0x80000001u), 60020);
  EXPECT_EQ(convert(0xC0000008u), 60021);
  EXPECT_EQ(convert(0xC0000009u), 9);
  EXPECT_EQ(convert(0x12345678u), 0x5678);
}

TEST(ErrorClasses, CopiesKeepTheirBounds) {
  const std::string long_message(5000, 'm');
  const std::string long_file(800, 'f');
  const CError original(5, long_message.c_str(), long_file.c_str(), 77);
  const CError copy = original;
  EXPECT_EQ(std::strlen(copy.GetErrorDesc()), 4095u);
  EXPECT_EQ(std::strlen(copy.GetFile()), 511u);
  EXPECT_EQ(copy.GetLine(), 77);
  EXPECT_EQ(copy.GetErrorCode(), 5);
  CSEHError seh;
  EXPECT_STREQ(seh.GetErrorDesc(), "");
  EXPECT_EQ(seh.GetLine(), 0);
}

}  // namespace
