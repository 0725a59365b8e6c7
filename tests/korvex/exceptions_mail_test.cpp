// The e-mail report of _ExcFilterI@4 and its gate: one sent report per process, none
// within 300 seconds of a session change, reports kept on when one was not sent. Each
// gate scenario runs in a fresh process (the gate is process-wide).
#include <ctime>

#include "exceptions_host.h"

namespace {

using exc_host::any_line_ends_with;
using exc_host::any_line_has;
using exc_host::FaultingThread;

constexpr char kSuite[] = "ExceptionMail";

std::vector<std::string> crash_lines() {
  const auto fault = FaultingThread::run([](EXCEPTION_POINTERS* p) { exc_host::run_filter_i(p); });
  return exc_host::thread_lines(fault.thread_id);
}

// The mail settings of these tests, with reports enabled.
void enable_mail(exc_host::Settings& settings) {
  settings.set("seh_sender", "enabled", "1");
  settings.set("seh_sender", "server", "mail.example.test");
  settings.set("seh_sender", "port", "2525");
  settings.set("seh_sender", "from", "korvex@example.test");
  settings.set("seh_sender", "to", "ops@example.test");
  settings.set("seh_sender", "subject", "Crash report");
  settings.set("seh_sender", "server_id", "SRV-9");
}

TEST(ExceptionMail, DISABLED_ChildSentReportTurnsReportsOff) {
  ASSERT_EQ(exc_host::mails_sent(), 0);  // also keeps the double loaded from here on
  korvex_host::proc<decltype(&appendappinfo)>("appendappinfo")("Host build 7.1");
  const auto first = crash_lines();
  ASSERT_EQ(exc_host::mails_sent(), 1);
  EXPECT_EQ(exc_host::mail_field(0), "mail.example.test");
  EXPECT_EQ(exc_host::mail_field(1), "korvex@example.test");
  EXPECT_EQ(exc_host::mail_field(2), "ops@example.test");
  EXPECT_EQ(exc_host::mail_field(3), "SERVER.RPT: SRV-9 Crash report");
  EXPECT_EQ(exc_host::mail_field(5), "2525");
  const std::string body = exc_host::mail_field(4);
  EXPECT_EQ(body.rfind("Host build 7.1\nDate/Time: ", 0), 0u) << body;
  EXPECT_NE(body.find("\n\nException 0xC0000005 occured at address 0x"), std::string::npos);
  EXPECT_NE(body.find(") params: 0x00000001, 0x00000000\n"), std::string::npos) << body;
  EXPECT_NE(body.find("------------- Call stack (begin) ---------------\n"
                      "Address\t\t\tFrame\t\t\tLogical addr\t\tModule\n0x"),
            std::string::npos);
  EXPECT_NE(body.find("korvex_exceptions_mail_test.exe\n"), std::string::npos);
  EXPECT_EQ(body.substr(body.size() - 49), "-------------- Call stack (end) ----------------\n");
  EXPECT_TRUE(any_line_ends_with(first, "ExcFilterI:Skip further SEH email reports"));

  const auto second = crash_lines();
  EXPECT_EQ(exc_host::mails_sent(), 1);
  EXPECT_TRUE(any_line_ends_with(second, "ExcFilterI:Skip further SEH email reports"));
}

TEST(ExceptionMail, SentReportTurnsReportsOff) {
  exc_host::Settings settings;
  enable_mail(settings);
  EXPECT_EQ(exc_host::run_scenario(kSuite, "SentReportTurnsReportsOff"), 0u);
}

TEST(ExceptionMail, DISABLED_ChildNoReportWithinFiveMinutesOfASessionChange) {
  const long long now = korvex_host::proc<decltype(&SetLastSessionTime)>("SetLastSessionTime")();
  EXPECT_LE(now, static_cast<long long>(time(nullptr)));
  EXPECT_GE(now + 5, static_cast<long long>(time(nullptr)));
  ASSERT_EQ(exc_host::mails_sent(), 0);
  const auto lines = crash_lines();
  EXPECT_EQ(exc_host::mails_sent(), 0);
  EXPECT_TRUE(
      any_line_ends_with(lines, "ExcFilterI:Skip SEH email reports during session changing"));
  EXPECT_FALSE(any_line_has(lines, "Skip further SEH email reports"));
}

TEST(ExceptionMail, NoReportWithinFiveMinutesOfASessionChange) {
  exc_host::Settings settings;
  enable_mail(settings);
  EXPECT_EQ(exc_host::run_scenario(kSuite, "NoReportWithinFiveMinutesOfASessionChange"), 0u);
}

TEST(ExceptionMail, DISABLED_ChildWithoutPostrelReportsStayOn) {
  for (int i = 0; i < 2; ++i) {
    const auto lines = crash_lines();
    EXPECT_TRUE(any_line_ends_with(lines, "EmailSender: send:Cannot load postrel.dll"));
    EXPECT_FALSE(any_line_has(lines, "Skip further SEH email reports"));
  }
}

TEST(ExceptionMail, WithoutPostrelReportsStayOn) {
  exc_host::Settings settings;
  enable_mail(settings);
  EXPECT_EQ(
      exc_host::run_scenario(kSuite, "WithoutPostrelReportsStayOn", {"KORVEX_TEST_NO_POSTREL=1"}),
      0u);
}

TEST(ExceptionMail, DISABLED_ChildFailedSendIsLoggedAndReportsStayOn) {
  exc_host::double_proc<exc_host::FailWithFn>("postrel.dll", "TestFailWith")("relay refused");
  const auto failed = crash_lines();
  EXPECT_TRUE(any_line_ends_with(failed, "EmailSender: send:error<relay refused>"));
  EXPECT_FALSE(any_line_has(failed, "Skip further SEH email reports"));
  EXPECT_EQ(exc_host::mails_sent(), 0);

  exc_host::double_proc<exc_host::FailWithFn>("postrel.dll", "TestFailWith")("");
  crash_lines();
  EXPECT_EQ(exc_host::mails_sent(), 1);
}

TEST(ExceptionMail, FailedSendIsLoggedAndReportsStayOn) {
  exc_host::Settings settings;
  enable_mail(settings);
  EXPECT_EQ(exc_host::run_scenario(kSuite, "FailedSendIsLoggedAndReportsStayOn"), 0u);
}

// Threads that mark themselves fault on purpose; this handler filters their faults and
// ends them.
thread_local bool t_faults_on_purpose = false;

LONG WINAPI filter_and_end_thread(EXCEPTION_POINTERS* pointers) {
  if (!t_faults_on_purpose) return EXCEPTION_CONTINUE_SEARCH;
  exc_host::run_filter_i(pointers);
  ExitThread(0);
}

// Concurrent crashes: the gate lets exactly one mail through.

DWORD WINAPI fault_when_released(void* start) {
  t_faults_on_purpose = true;
  WaitForSingleObject(static_cast<HANDLE>(start), INFINITE);
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}

TEST(ExceptionMail, DISABLED_ChildConcurrentCrashesSendOneMail) {
  constexpr int kThreads = 4;
  ASSERT_EQ(exc_host::mails_sent(), 0);
  PVOID handler = AddVectoredExceptionHandler(1, filter_and_end_thread);
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE threads[kThreads];
  for (HANDLE& t : threads) t = CreateThread(nullptr, 0, fault_when_released, start, 0, nullptr);
  SetEvent(start);
  WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
  for (HANDLE t : threads) CloseHandle(t);
  CloseHandle(start);
  RemoveVectoredExceptionHandler(handler);
  EXPECT_EQ(exc_host::mails_sent(), 1);
}

TEST(ExceptionMail, ConcurrentCrashesSendOneMail) {
  exc_host::Settings settings;
  enable_mail(settings);
  EXPECT_EQ(exc_host::run_scenario(kSuite, "ConcurrentCrashesSendOneMail"), 0u);
}

// A call stack through a module whose name holds "rpcrt4" (any case) sends no mail.

// The 32-bit frame-pointer walk finds rpcrt4hop.dll through this function's frame, so it
// must have one: GCC gives none to a leaf that uses no stack (hence the call first), and
// a store through a pointer known to be null becomes a bare trap (hence the variable).
volatile int* volatile g_nowhere = nullptr;

__attribute__((noinline)) void fault_here() {
  SetLastError(0);
  *g_nowhere = 1;
}

DWORD WINAPI fault_through_rpc_module(void*) {
  t_faults_on_purpose = true;
  using CallThroughFn = void(__cdecl*)(void (*)());
  exc_host::double_proc<CallThroughFn>("rpcrt4hop.dll", "CallThrough")(fault_here);
  return 0;
}

TEST(ExceptionMail, StackThroughAnRpcModuleSendsNoMail) {
  exc_host::Settings settings;
  enable_mail(settings);
  const int before = exc_host::mails_sent();
  PVOID handler = AddVectoredExceptionHandler(1, filter_and_end_thread);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, fault_through_rpc_module, nullptr, 0, &id);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  RemoveVectoredExceptionHandler(handler);
  const auto lines = exc_host::thread_lines(id);
  EXPECT_TRUE(any_line_ends_with(lines, "rpcrt4hop.dll"));
  EXPECT_TRUE(any_line_ends_with(lines, "sehEmailReport:Skip RPC stack."));
  EXPECT_FALSE(any_line_has(lines, "Skip further SEH email reports"));
  EXPECT_EQ(exc_host::mails_sent(), before);
}

// A fault inside the filter (here in PstSend) reaches the host's handler, which calls
// the filter again: that inner call does nothing, so there is one report and no mail.
TEST(ExceptionMail, DISABLED_ChildFaultInsideTheFilterStartsNothingMore) {
  ASSERT_EQ(exc_host::mails_sent(), 0);
  exc_host::double_proc<void(__cdecl*)(int)>("postrel.dll", "TestFaultInSend")(1);
  const auto lines = crash_lines();
  int reports = 0;
  for (const std::string& line : lines)
    reports += line.find("SEH exception catched. Exception report:") != std::string::npos;
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(exc_host::mails_sent(), 0);
}

TEST(ExceptionMail, FaultInsideTheFilterStartsNothingMore) {
  exc_host::Settings settings;
  enable_mail(settings);
  EXPECT_EQ(exc_host::run_scenario(kSuite, "FaultInsideTheFilterStartsNothingMore"), 0u);
}

TEST(ExceptionMail, DisabledReportsSendNothing) {
  exc_host::Settings settings;
  const int before = exc_host::mails_sent();
  const auto lines = crash_lines();
  EXPECT_TRUE(any_line_ends_with(lines, "sehEmailReport: disabled:"));
  EXPECT_EQ(exc_host::mails_sent(), before);
}

TEST(ApplicationInfo, AppendsWithLineEndsAndReadersKeepTheirCopy) {
  auto append = korvex_host::proc<decltype(&appendappinfo)>("appendappinfo");
  auto get = korvex_host::proc<decltype(&getappinfo)>("getappinfo");
  append("alpha");
  append("beta");
  const char* seen = get();
  const std::string copy = seen;
  EXPECT_EQ(copy.substr(copy.size() - 11), "alpha\nbeta\n");
  korvex_host::on_own_thread([&] {
    for (int i = 0; i < 200; ++i) append("a longer piece that makes the text grow and move");
  });
  EXPECT_EQ(std::string(seen), copy);  // this thread's copy stays as it was
  EXPECT_NE(std::string(get()).find("beta\na longer piece"), std::string::npos);
  append(nullptr);
  const std::string last = get();
  EXPECT_EQ(last.substr(last.size() - 6), "move\n\n");
}

}  // namespace
