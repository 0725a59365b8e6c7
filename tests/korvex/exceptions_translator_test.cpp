// Error notifications as the test double of vigilor.dll receives them, and
// seh_translator with real structured exceptions, caught where a host catches them (in
// its own frame around the faulting code, see exceptions_redirect.h): the thrown
// CSEHError after the dump line, the report and the notification; the RPC busy status
// with only a warning.
#include <cstring>

#include "exceptions_host.h"
#include "exceptions_redirect.h"

namespace {

using exc_host::any_line_ends_with;
using exc_host::any_line_has;

struct Received {
  int calls = 0;
  void* module = nullptr;
  int kind = 0;
  unsigned char record[51] = {};

  unsigned u16(std::size_t at) const { return record[at] | record[at + 1] << 8; }
  int i32(std::size_t at) const {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | record[at + i];
    return static_cast<int>(v);
  }
  std::string text() const { return reinterpret_cast<const char*>(record + 18); }
};

Received last_send_info() {
  Received r;
  r.calls = exc_host::double_proc<exc_host::SendInfoQueryFn>("vigilor.dll", "TestLastSendInfo")(
      r.record, &r.module, &r.kind);
  return r;
}

void* const kHostModule = reinterpret_cast<void*>(0x1234);

TEST(Notification, PlainRecordCarriesTheValuesWithFlagsFourOrZero) {
  auto send = korvex_host::proc<decltype(&send_vigil_error)>("send_vigil_error");
  const int before = last_send_info().calls;
  EXPECT_EQ(send(kHostModule, 60001, 3, 11, -22, 0), 7714);  // the double's answer
  Received r = last_send_info();
  EXPECT_EQ(r.calls, before + 1);
  EXPECT_EQ(r.module, kHostModule);
  EXPECT_EQ(r.kind, 14);
  EXPECT_EQ(r.u16(0), 3u);
  EXPECT_EQ(r.i32(4), 60001);
  EXPECT_EQ(r.i32(8), 11);
  EXPECT_EQ(r.i32(12), -22);
  EXPECT_EQ(r.u16(16), 4u);
  EXPECT_EQ(r.text(), "");

  send(kHostModule, 1, 2, 0, 0, 1);
  EXPECT_EQ(last_send_info().u16(16), 0u);
  send(kHostModule, 1, 2, 0, 0, 0x100);  // only the low byte counts
  EXPECT_EQ(last_send_info().u16(16), 4u);

  auto send_std =
      korvex_host::proc<int(__stdcall*)(void*, int, int, int, int, int)>("_SendVigilError@24");
  EXPECT_EQ(send_std(kHostModule, 77, 9, 1, 2, 1), 7714);
  r = last_send_info();
  EXPECT_EQ(r.i32(4), 77);
  EXPECT_EQ(r.u16(0), 9u);
  EXPECT_EQ(r.u16(16), 0u);
}

TEST(Notification, ExtendedTextIsCutToThirtyTwoCharactersAndNullIsEmpty) {
  auto send_ex = korvex_host::proc<decltype(&send_vigil_error_ex)>("send_vigil_error_ex");
  const std::string forty = "0123456789abcdefghijABCDEFGHIJ0123456789";
  EXPECT_EQ(send_ex(kHostModule, 5, 1, 0, 0, 0, forty.c_str()), 7714);
  Received r = last_send_info();
  EXPECT_EQ(r.text(), forty.substr(0, 32));
  EXPECT_EQ(r.record[50], 0);
  send_ex(kHostModule, 5, 1, 0, 0, 0, "short");
  EXPECT_EQ(last_send_info().text(), "short");
  send_ex(kHostModule, 5, 1, 0, 0, 0, nullptr);
  EXPECT_EQ(last_send_info().text(), "");
}

TEST(Notification, DISABLED_ChildMissingSendInfoWritesTheErrorLine) {
  korvex_host::TempFolder dir("nosendinfo");
  korvex_host::proc<decltype(&::util_init)>("util_init")(dir.file("e.log").c_str(), nullptr,
                                                         nullptr, nullptr);
  auto send = korvex_host::proc<decltype(&send_vigil_error)>("send_vigil_error");
  auto send_ex = korvex_host::proc<decltype(&send_vigil_error_ex)>("send_vigil_error_ex");
  EXPECT_GT(send(kHostModule, 1, 1, 0, 0, 0), 0);
  EXPECT_GT(send_ex(kHostModule, 1, 1, 0, 0, 0, "x"), 0);
  const auto lines = korvex_host::read_lines(dir.file("e.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("E: ", 0), 0u);
  EXPECT_TRUE(any_line_ends_with(
      lines, "Error: Can't send error notification: VIGIL SendInfo function is missing"));
  EXPECT_TRUE(any_line_ends_with(
      lines, "Error: Can't send extended error notification: VIGIL SendInfo function is missing"));
}

TEST(Notification, MissingSendInfoWritesTheErrorLine) {
  EXPECT_EQ(exc_host::run_scenario("Notification", "MissingSendInfoWritesTheErrorLine",
                                   {"KORVEX_TEST_NO_SENDINFO=1"}),
            0u);
}

// A write through a null pointer in this program's own code.
__attribute__((noinline)) void write_through(volatile int* pointer) {
  *pointer = 1;
}

// The translation as the host's catch receives it, on a thread of its own (attached to
// the report log) whose id picks its report lines.
struct Translated {
  exc_redirect::Caught caught;
  DWORD thread_id = 0;
};

template <class Fault>
Translated on_reporting_thread(Fault fault) {
  Translated t;
  korvex_host::on_own_thread([&] {
    t.thread_id = GetCurrentThreadId();
    exc_host::attach_to_report_log();
    t.caught = fault();
  });
  return t;
}

TEST(SehTranslator, ThrowsAfterTheDumpTheReportAndTheNotification) {
  exc_host::Settings settings;
  settings.set("dumps", "auto", "1");
  exc_host::InFolder dir("translator");
  korvex_host::write_file("Dumps", "not a folder");  // the dump line is enough here
  const int before = last_send_info().calls;
  const Translated t = on_reporting_thread(
      [] { return exc_redirect::fault_with_translator([] { write_through(nullptr); }); });
  // Caught by the host's own try around the faulting call, after unwinding through it.
  ASSERT_TRUE(t.caught.caught);
  EXPECT_TRUE(t.caught.unwound);
  const CSEHError& error = t.caught.error;
  EXPECT_EQ(static_cast<unsigned>(error.m_code), 0xC0000005u);
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "Exception 0xC0000005 occured at address 0x%08llX. Parameters: 0x00000001 "
                "0x00000000.",
                static_cast<unsigned long long>(t.caught.address));
  EXPECT_STREQ(error.m_message, expected);
  EXPECT_STREQ(error.m_file, "");
  EXPECT_EQ(error.m_line, 0);

  const auto lines = exc_host::thread_lines(t.thread_id);
  EXPECT_TRUE(any_line_has(lines, "Beginning crash dump creation"));
  EXPECT_TRUE(any_line_has(lines, "SEH exception catched. Exception report:"));
  const Received r = last_send_info();
  EXPECT_EQ(r.calls, before + 1);
  EXPECT_EQ(r.module, reinterpret_cast<void*>(korvex_host::library()));
  EXPECT_EQ(r.i32(4), 60000 + 0x20000);
  EXPECT_EQ(r.u16(0), 5u);
  EXPECT_EQ(r.i32(8), 0);
  EXPECT_EQ(r.i32(12), 0);
  EXPECT_EQ(r.u16(16), 0u);
}

TEST(SehTranslator, RpcBusyStatusGetsOnlyTheWarningLine) {
  exc_host::Settings settings;
  settings.set("dumps", "auto", "1");
  exc_host::InFolder dir("translator_rpc");
  const int before = last_send_info().calls;
  const Translated t = on_reporting_thread([] { return exc_redirect::raise_and_translate(1723); });
  ASSERT_TRUE(t.caught.caught);
  EXPECT_EQ(t.caught.error.m_code, 1723);
  EXPECT_NE(std::string(t.caught.error.m_message).find("Parameters: 0x00000011 0x00000022."),
            std::string::npos);
  EXPECT_EQ(last_send_info().calls, before);
  EXPECT_TRUE(dir.dumps().empty());
  const auto lines = exc_host::thread_lines(t.thread_id);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("W: ", 0), 0u);
  EXPECT_TRUE(any_line_ends_with(lines, "Warning: RPC error 0x000006BB"));
}

}  // namespace
