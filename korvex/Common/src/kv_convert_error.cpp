// convert_error: the library's numbers for structured-exception codes.
#include "kverror.h"

namespace {

// The known codes, numbered from 60000 in this order.
constexpr unsigned kKnownCodes[] = {
    0xC0000005,  // access violation
    0x80000002,  // data type misalignment
    0x80000003,  // breakpoint
    0x80000004,  // single step
    0xC000008C,  // array bounds exceeded
    0xC000008D,  // float denormal operand
    0xC000008E,  // float divide by zero
    0xC000008F,  // float inexact result
    0xC0000090,  // float invalid operation
    0xC0000091,  // float overflow
    0xC0000092,  // float stack check
    0xC0000093,  // float underflow
    0xC0000094,  // integer divide by zero
    0xC0000095,  // integer overflow
    0xC0000096,  // privileged instruction
    0xC0000006,  // in-page error
    0xC000001D,  // illegal instruction
    0xC0000025,  // non-continuable exception
    0xC00000FD,  // stack overflow
    0xC0000026,  // invalid disposition
    0x80000001,  // guard page
    0xC0000008,  // invalid handle
};

constexpr unsigned kLow16Bits = 0xFFFF;

}  // namespace

extern "C" unsigned short __cdecl convert_error(unsigned int exception_code) {
  unsigned short number = KV_SEH_ERROR_BASE;
  for (unsigned code : kKnownCodes) {
    if (code == exception_code) return number;
    ++number;
  }
  return static_cast<unsigned short>(exception_code & kLow16Bits);
}
