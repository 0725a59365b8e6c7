// seh_translator as a 32-bit host can use it. The error it throws unwinds with GCC's
// DWARF-2 unwinder, which cannot pass the system's exception-dispatch frames: thrown
// from inside a vectored handler it reaches no catch of the faulting code and ends the
// process in terminate. The setup that works: the host's vectored handler keeps the
// fault's record and context and makes the faulting thread resume in a host function
// that calls seh_translator, as if the faulting instruction had called it; the error then
// unwinds from the faulting frame to the host's own catch, running destructors on the
// way. Both tests here run only in the 32-bit build.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exceptions_host.h"

namespace {

#if defined(__i386__)

using TranslatorFn = void(__cdecl*)(unsigned, EXCEPTION_POINTERS*);

// What the host's handler keeps of the fault (the dispatcher's copies lie below the
// stack pointer the thread resumes with, so they are gone once it runs again).
EXCEPTION_RECORD g_record;
CONTEXT g_context;
EXCEPTION_POINTERS g_pointers{&g_record, &g_context};
TranslatorFn g_translator = nullptr;
DWORD g_thread = 0;  // the one thread whose next fault is redirected

extern "C" __attribute__((noinline, used)) void host_translate() {
  g_translator(g_record.ExceptionCode, &g_pointers);
}

bool inside_this_program(const void* address) {
  MEMORY_BASIC_INFORMATION region;
  return VirtualQuery(address, &region, sizeof region) != 0 &&
         region.AllocationBase == GetModuleHandleA(nullptr);
}

// The host's vectored handler: a fault of this program's own code on the chosen thread
// resumes in host_translate, with the faulting address plus one as its return address.
LONG WINAPI redirect_to_translator(EXCEPTION_POINTERS* pointers) {
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (GetCurrentThreadId() != g_thread) return EXCEPTION_CONTINUE_SEARCH;
  if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_INT_DIVIDE_BY_ZERO)
    return EXCEPTION_CONTINUE_SEARCH;
  if (!inside_this_program(pointers->ExceptionRecord->ExceptionAddress))
    return EXCEPTION_CONTINUE_SEARCH;
  g_thread = 0;
  g_record = *pointers->ExceptionRecord;
  g_context = *pointers->ContextRecord;
  CONTEXT& resume = *pointers->ContextRecord;
  resume.Esp -= sizeof(DWORD);
  *reinterpret_cast<DWORD*>(resume.Esp) = resume.Eip + 1;
  resume.Eip = reinterpret_cast<DWORD>(&host_translate);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// The setup that cannot work: the handler throws itself, from inside the dispatcher.
LONG WINAPI translate_inside_the_handler(EXCEPTION_POINTERS* pointers) {
  if (GetCurrentThreadId() != g_thread) return EXCEPTION_CONTINUE_SEARCH;
  g_thread = 0;
  g_translator(pointers->ExceptionRecord->ExceptionCode, pointers);
  return EXCEPTION_CONTINUE_SEARCH;
}

__attribute__((noinline)) int read_through(volatile int* pointer) {
  return *pointer;
}

volatile int g_quotient = 0;  // keeps the division from being left out

__attribute__((noinline)) int divide(int a, int b) {
  volatile int divisor = b;
  return a / divisor;
}

struct Caught {
  bool caught = false;
  bool unwound = false;  // a destructor between the fault and the catch ran
  unsigned code = 0;
  std::string message;
};

template <class Fault>
Caught fault_with_translator(Fault fault) {
  Caught c;
  g_translator = korvex_host::proc<TranslatorFn>("seh_translator");
  PVOID handler = AddVectoredExceptionHandler(1, &redirect_to_translator);
  g_thread = GetCurrentThreadId();
  try {
    struct MarksUnwinding {
      bool& unwound;
      ~MarksUnwinding() { unwound = true; }
    } guard{c.unwound};
    fault();
  } catch (const CSEHError& e) {
    c.caught = true;
    c.code = static_cast<unsigned>(e.m_code);
    c.message = e.m_message;
  }
  g_thread = 0;
  RemoveVectoredExceptionHandler(handler);
  return c;
}

TEST(SehTranslatorHost, FaultsAreCaughtWhereTheyHappenedWhenTheHandlerRedirects) {
  exc_host::Settings settings;  // no dumps, no mail
  exc_host::attach_to_report_log();
  const Caught access = fault_with_translator([] { read_through(nullptr); });
  ASSERT_TRUE(access.caught);
  EXPECT_TRUE(access.unwound);
  EXPECT_EQ(access.code, 0xC0000005u);
  char address[16];
  std::snprintf(
      address, sizeof address, "0x%08lX",
      static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(g_record.ExceptionAddress)));
  EXPECT_EQ(access.message, std::string("Exception 0xC0000005 occured at address ") + address +
                                ". Parameters: 0x00000000 0x00000000.");

  const Caught zero = fault_with_translator([] { g_quotient = divide(7, 0); });
  ASSERT_TRUE(zero.caught);
  EXPECT_TRUE(zero.unwound);
  EXPECT_EQ(zero.code, 0xC0000094u);
  EXPECT_EQ(std::uncaught_exceptions(), 0);

  // The translator's report of each went to the thread's events log.
  const auto lines = exc_host::thread_lines(GetCurrentThreadId());
  EXPECT_TRUE(exc_host::any_line_has(lines, "Exception 0xC0000005 occured at address"));
  EXPECT_TRUE(exc_host::any_line_has(lines, "Exception 0xC0000094 occured at address"));
}

TEST(SehTranslatorHost, DISABLED_ChildThrowingInsideTheHandlerReachesNoCatch) {
  exc_host::Settings settings;
  g_translator = korvex_host::proc<TranslatorFn>("seh_translator");
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

#else

TEST(SehTranslatorHost, FaultsAreCaughtWhereTheyHappenedWhenTheHandlerRedirects) {
  GTEST_SKIP() << "the redirecting handler here is written for the 32-bit build";
}

#endif

}  // namespace
