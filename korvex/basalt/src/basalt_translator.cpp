#include "basalt_translator.h"

#include <windows.h>

#include <atomic>

#include "kverror.h"
#include "kvexc.h"

namespace basalt {
namespace {

constexpr DWORD kGccExceptionMask = 0x00FFFFFF;   // the low bytes the GCC unwinder's
constexpr DWORD kGccExceptionCodes = 0x00474343;  // own exception codes share ("GCC")
constexpr DWORD kErrorSeverity = 0xC0000000;
// Stack kept free for the translation of a stack overflow.
constexpr ULONG kStackOverflowReserve = 64 * 1024;

thread_local bool t_translating = false;
thread_local CSEHError t_pending;

std::atomic<void*> g_handler{nullptr};
SRWLOCK g_handler_lock = SRWLOCK_INIT;

std::uintptr_t allocation_base(const void* address) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(address, &region, sizeof region) == 0) return 0;
  return reinterpret_cast<std::uintptr_t>(region.AllocationBase);
}

// Only faults in this module's own code become exceptions: its frames carry the unwind
// information (built with -fnon-call-exceptions) that the throw needs.
bool in_own_image(const void* address) {
  static const std::uintptr_t own = allocation_base(reinterpret_cast<const void*>(&in_own_image));
  return own != 0 && allocation_base(address) == own;
}

}  // namespace
}  // namespace basalt

extern "C" [[noreturn]] void basalt_throw_pending() {
  throw CSEHError(basalt::t_pending);
}

#if defined(__x86_64__)
// Entered with the stack of the faulting frame below a faked return address (the fault
// address plus one, inside the faulting instruction); aligns the stack and throws. Its
// unwind information lets the unwinder step from here into the faulting frame.
extern "C" void basalt_resume_throw();
asm(R"(
    .text
    .globl basalt_resume_throw
    .def basalt_resume_throw; .scl 2; .type 32; .endef
    .seh_proc basalt_resume_throw
basalt_resume_throw:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call basalt_throw_pending
    int3
    .seh_endproc
)");
#endif

namespace basalt {
namespace {

// Makes the thread resume in the thrower as if the faulting instruction had called it.
bool resume_in_thrower(CONTEXT& context) {
#if defined(__x86_64__)
  const DWORD64 stack = context.Rsp - sizeof(DWORD64);
  *reinterpret_cast<DWORD64*>(stack) = context.Rip + 1;
  context.Rsp = stack;
  context.Rip = reinterpret_cast<DWORD64>(&basalt_resume_throw);
#else
  const DWORD stack = context.Esp - sizeof(DWORD);
  *reinterpret_cast<DWORD*>(stack) = context.Eip + 1;
  context.Esp = stack;
  context.Eip = reinterpret_cast<DWORD>(&basalt_throw_pending);
#endif
  return true;
}

LONG WINAPI translate(EXCEPTION_POINTERS* pointers) {
  if (!t_translating || !pointers || !pointers->ExceptionRecord || !pointers->ContextRecord)
    return EXCEPTION_CONTINUE_SEARCH;
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const DWORD code = record.ExceptionCode;
  if ((code & kGccExceptionMask) == kGccExceptionCodes) return EXCEPTION_CONTINUE_SEARCH;
  if ((code & kErrorSeverity) != kErrorSeverity) return EXCEPTION_CONTINUE_SEARCH;
  if (!in_own_image(record.ExceptionAddress)) return EXCEPTION_CONTINUE_SEARCH;
  // The library's translator writes the dump, the report and the notification, and
  // throws; that throw ends here, and the faulting frame throws it again.
  try {
    seh_translator(code, pointers);
    return EXCEPTION_CONTINUE_SEARCH;
  } catch (const CSEHError& e) {
    t_pending = e;
  } catch (...) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  resume_in_thrower(*pointers->ContextRecord);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void install_translator() {
  if (!g_handler.load()) {
    AcquireSRWLockExclusive(&g_handler_lock);
    if (!g_handler.load()) g_handler.store(AddVectoredExceptionHandler(1, translate));
    ReleaseSRWLockExclusive(&g_handler_lock);
  }
  ULONG reserve = kStackOverflowReserve;
  SetThreadStackGuarantee(&reserve);
  t_translating = true;
}

void remove_translator() {
  AcquireSRWLockExclusive(&g_handler_lock);
  if (void* handler = g_handler.exchange(nullptr)) RemoveVectoredExceptionHandler(handler);
  ReleaseSRWLockExclusive(&g_handler_lock);
}

}  // namespace basalt
