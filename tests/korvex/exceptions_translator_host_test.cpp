// seh_translator as a host can use it. In the 32-bit build the error it throws unwinds
// with GCC's DWARF-2 unwinder, which cannot pass the system's exception-dispatch frames:
// thrown from inside a vectored handler it reaches no catch of the faulting code and ends
// the process in terminate (that test runs in the 32-bit build only). The setup that
// works in both builds: the host's vectored handler keeps the fault's record and context
// and makes the faulting thread resume in a host function that calls seh_translator, as
// if the faulting instruction had called it (exceptions_redirect.h); the error then
// unwinds from the faulting frame to the host's own catch, running destructors on the
// way.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exceptions_host.h"
#include "exceptions_redirect.h"

namespace {

using exc_redirect::fault_with_translator;
using exc_redirect::g_thread;
using exc_redirect::g_translator;

__attribute__((noinline)) int read_through(volatile int* pointer) {
  return *pointer;
}

volatile int g_quotient = 0;  // keeps the division from being left out

__attribute__((noinline)) int divide(int a, int b) {
  volatile int divisor = b;
  return a / divisor;
}

TEST(SehTranslatorHost, FaultsAreCaughtWhereTheyHappenedWhenTheHandlerRedirects) {
  exc_host::Settings settings;  // no dumps, no mail
  exc_host::attach_to_report_log();
  const exc_redirect::Caught access = fault_with_translator([] { read_through(nullptr); });
  ASSERT_TRUE(access.caught);
  EXPECT_TRUE(access.unwound);
  EXPECT_EQ(static_cast<unsigned>(access.error.m_code), 0xC0000005u);
  char address[32];
  std::snprintf(address, sizeof address, "0x%08llX",
                static_cast<unsigned long long>(access.address));
  EXPECT_EQ(std::string(access.error.m_message),
            std::string("Exception 0xC0000005 occured at address ") + address +
                ". Parameters: 0x00000000 0x00000000.");

  const exc_redirect::Caught zero = fault_with_translator([] { g_quotient = divide(7, 0); });
  ASSERT_TRUE(zero.caught);
  EXPECT_TRUE(zero.unwound);
  EXPECT_EQ(static_cast<unsigned>(zero.error.m_code), 0xC0000094u);
  EXPECT_EQ(std::uncaught_exceptions(), 0);

  // The translator's report of each went to the thread's events log.
  const auto lines = exc_host::thread_lines(GetCurrentThreadId());
  EXPECT_TRUE(exc_host::any_line_has(lines, "Exception 0xC0000005 occured at address"));
  EXPECT_TRUE(exc_host::any_line_has(lines, "Exception 0xC0000094 occured at address"));
}

#if defined(__i386__)

// The setup that cannot work: the handler throws itself, from inside the dispatcher.
LONG WINAPI translate_inside_the_handler(EXCEPTION_POINTERS* pointers) {
  if (GetCurrentThreadId() != g_thread) return EXCEPTION_CONTINUE_SEARCH;
  g_thread = 0;
  g_translator(pointers->ExceptionRecord->ExceptionCode, pointers);
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(SehTranslatorHost, DISABLED_ChildThrowingInsideTheHandlerReachesNoCatch) {
  exc_host::Settings settings;
  g_translator = korvex_host::proc<exc_redirect::TranslatorFn>("seh_translator");
  AddVectoredExceptionHandler(1, &translate_inside_the_handler);
  g_thread = GetCurrentThreadId();
  try {
    read_through(nullptr);
  } catch (const CSEHError&) {
    std::exit(0);  // would mean the throw crossed the dispatcher after all
  }
  std::exit(0);
}

TEST(SehTranslatorHost, ThrowingInsideTheHandlerEndsTheProcess) {
  const DWORD code =
      exc_host::run_scenario("SehTranslatorHost", "ThrowingInsideTheHandlerReachesNoCatch");
  EXPECT_NE(code, 0u);
  EXPECT_NE(code, 255u);  // 255: the child did not start
}

#endif

}  // namespace
