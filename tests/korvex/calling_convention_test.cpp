// The two calling conventions of the 32-bit export table as a host meets them: a
// standard-convention export ("_Name@N") removes its N bytes of arguments itself, a C
// export leaves them to the caller. A mismatch shifts the host's stack pointer on every
// call, which code with frame pointers hides until it fails somewhere else. (x86-64 has
// one convention: nothing to check there.)
#include "exceptions_host.h"

#if defined(__i386__)

#include <cstdint>
#include <vector>

extern "C" int __cdecl stack_shift(const void* fn, const std::uintptr_t* args, int count,
                                   int* answer);

// Pushes the arguments (the last first), calls fn, and answers how far the stack
// pointer moved across the call: 0 when fn removed them, -4 per argument when it did
// not. The stack pointer is restored either way; fn's answer goes to *answer.
__asm__(R"(
  .text
  .globl _stack_shift
_stack_shift:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  movl %esp, %ebx
  movl 12(%ebp), %esi
  movl 16(%ebp), %ecx
1:
  testl %ecx, %ecx
  jz 2f
  decl %ecx
  pushl (%esi,%ecx,4)
  jmp 1b
2:
  call *8(%ebp)
  movl 20(%ebp), %ecx
  movl %eax, (%ecx)
  movl %esp, %eax
  subl %ebx, %eax
  movl %ebx, %esp
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

namespace {

struct Call {
  int shift;
  int answer;
};

Call call_export(const char* name, const std::vector<std::uintptr_t>& args) {
  FARPROC fn = GetProcAddress(korvex_host::library(), name);
  if (!fn) throw std::runtime_error(std::string("Korvex.dll does not export ") + name);
  Call c{};
  c.shift = stack_shift(reinterpret_cast<const void*>(fn), args.data(),
                        static_cast<int>(args.size()), &c.answer);
  return c;
}

std::uintptr_t arg(const void* p) {
  return reinterpret_cast<std::uintptr_t>(p);
}

TEST(CallingConvention, StandardExportsRemoveTheirArguments) {
  exc_host::Settings settings;  // no dump, no mail
  korvex_host::on_own_thread([] {
    const char text[] = "calling convention check";
    const Call shown = call_export("_show_message@4", {arg(text)});
    EXPECT_EQ(shown.shift, 0);
    EXPECT_GT(shown.answer, 0);

    const Call vigil = call_export("_SendVigilError@24", {0, 5, 1, 2, 3, 1});
    EXPECT_EQ(vigil.shift, 0);
  });

  Call filtered{-1, -1};
  exc_host::FaultingThread::run([&](EXCEPTION_POINTERS* pointers) {
    exc_host::attach_to_report_log();
    filtered = call_export("_ExcFilterI@4", {arg(pointers)});
  });
  EXPECT_EQ(filtered.shift, 0);
  EXPECT_EQ(filtered.answer, 1);
}

TEST(CallingConvention, CExportsLeaveTheirArgumentsToTheCaller) {
  korvex_host::on_own_thread([] {
    const char file[] = "C:\\src\\conv.cpp";
    EXPECT_EQ(call_export("place", {arg(file), 12}).shift, -8);
    EXPECT_EQ(call_export("send_vigil_error", {0, 5, 1, 2, 3, 1}).shift, -24);
  });
}

}  // namespace

#endif
