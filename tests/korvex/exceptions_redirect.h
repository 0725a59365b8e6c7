// How a host catches seh_translator's CSEHError in its own frame, around the code that
// faulted: the host's vectored handler keeps a copy of the fault's record and context and
// makes the faulting thread resume in a host function that calls seh_translator, as if
// the faulting instruction had called it. The error then unwinds from the faulting frame
// to the host's catch, running destructors on the way. A throw from inside the handler
// itself would meet the system's dispatch frames, which GCC's 32-bit unwinder cannot pass.
//
// Include it in one source file of a test program only: it defines the resume function.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

#include "korvex_host.h"
#include "kverror.h"
#include "kvexc.h"

namespace exc_redirect {

using TranslatorFn = void(__cdecl*)(unsigned, EXCEPTION_POINTERS*);

// What the host's handler keeps of the fault (the dispatcher's copies lie below the
// stack pointer the thread resumes with, so they are gone once it runs again).
inline EXCEPTION_RECORD g_record;
inline CONTEXT g_context;
inline EXCEPTION_POINTERS g_pointers{&g_record, &g_context};
inline TranslatorFn g_translator = nullptr;
inline DWORD g_thread = 0;  // the one thread whose next fault is redirected

}  // namespace exc_redirect

extern "C" __attribute__((noinline, used)) inline void kvtest_host_translate() {
  exc_redirect::g_translator(exc_redirect::g_record.ExceptionCode, &exc_redirect::g_pointers);
}

#if defined(__x86_64__)
// Entered with the faulting frame's stack below a faked return address (the fault
// address plus one); aligns the stack and calls the host's translating function. Its
// unwind information lets the unwinder step from here into the faulting frame.
extern "C" void kvtest_resume_translate();
asm(R"(
    .text
    .globl kvtest_resume_translate
    .def kvtest_resume_translate; .scl 2; .type 32; .endef
    .seh_proc kvtest_resume_translate
kvtest_resume_translate:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call kvtest_host_translate
    int3
    .seh_endproc
)");
#endif

namespace exc_redirect {

inline bool inside_this_program(const void* address) {
  MEMORY_BASIC_INFORMATION region;
  return VirtualQuery(address, &region, sizeof region) != 0 &&
         region.AllocationBase == GetModuleHandleA(nullptr);
}

// The host's vectored handler: a fault of this program's own code (built with
// -fnon-call-exceptions) on the chosen thread resumes in the translating function.
inline LONG WINAPI redirect_to_translator(EXCEPTION_POINTERS* pointers) {
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
#if defined(__x86_64__)
  resume.Rsp -= sizeof(DWORD64);
  *reinterpret_cast<DWORD64*>(resume.Rsp) = resume.Rip + 1;
  resume.Rip = reinterpret_cast<DWORD64>(&kvtest_resume_translate);
#else
  resume.Esp -= sizeof(DWORD);
  *reinterpret_cast<DWORD*>(resume.Esp) = resume.Eip + 1;
  resume.Eip = reinterpret_cast<DWORD>(&kvtest_host_translate);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

struct Caught {
  bool caught = false;
  bool unwound = false;  // a destructor between the fault and the catch ran
  CSEHError error;
  std::uintptr_t address = 0;  // where the fault happened
};

// Runs fault() on the calling thread inside the host's own try, with the redirecting
// handler in place for its first fault, and answers what the host's catch got.
template <class Fault>
Caught fault_with_translator(Fault fault) {
  Caught c;
  g_record = EXCEPTION_RECORD{};
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
    c.error = e;
  }
  g_thread = 0;
  RemoveVectoredExceptionHandler(handler);
  c.address = reinterpret_cast<std::uintptr_t>(g_record.ExceptionAddress);
  return c;
}

// A software exception (RaiseException) is continuable: the host's handler keeps the
// copies and lets RaiseException return; the host then calls the translator itself.
inline LONG WINAPI keep_and_continue(EXCEPTION_POINTERS* pointers) {
  if (GetCurrentThreadId() != g_thread) return EXCEPTION_CONTINUE_SEARCH;
  g_thread = 0;
  g_record = *pointers->ExceptionRecord;
  g_context = *pointers->ContextRecord;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Raises code with the parameters 0x11 and 0x22 on the calling thread and translates it
// in the host's own frame, inside the host's try.
inline Caught raise_and_translate(DWORD code) {
  Caught c;
  g_record = EXCEPTION_RECORD{};
  g_translator = korvex_host::proc<TranslatorFn>("seh_translator");
  PVOID handler = AddVectoredExceptionHandler(1, &keep_and_continue);
  g_thread = GetCurrentThreadId();
  try {
    const ULONG_PTR params[2] = {0x11, 0x22};
    RaiseException(code, 0, 2, params);
    RemoveVectoredExceptionHandler(handler);
    handler = nullptr;
    if (g_record.ExceptionCode == code) kvtest_host_translate();
  } catch (const CSEHError& e) {
    c.caught = true;
    c.error = e;
  }
  g_thread = 0;
  if (handler) RemoveVectoredExceptionHandler(handler);
  c.address = reinterpret_cast<std::uintptr_t>(g_record.ExceptionAddress);
  return c;
}

}  // namespace exc_redirect
