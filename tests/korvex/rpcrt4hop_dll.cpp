// Test helper DLL whose file name contains "rpcrt4": CallThrough calls back into the
// host, so that a fault there has a frame of this module on its call stack.
#include <windows.h>

extern "C" __declspec(dllexport) __attribute__((noinline)) void __cdecl CallThrough(void (*fn)()) {
  fn();
  // Keeps this frame on the stack (no tail call) while fn runs.
  __asm__ __volatile__("" ::: "memory");
}
