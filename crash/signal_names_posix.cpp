#include "crash/signal_names_posix.h"

#include <csignal>

namespace ostrel::crash {
namespace {

struct CodeName {
  int signal;
  int code;
  const char* text;
};

constexpr CodeName kCodeNames[] = {
    {SIGSEGV, SEGV_MAPERR, "address not mapped (SEGV_MAPERR)"},
    {SIGSEGV, SEGV_ACCERR, "invalid permissions for mapped object (SEGV_ACCERR)"},
    {SIGBUS, BUS_ADRALN, "invalid address alignment (BUS_ADRALN)"},
    {SIGBUS, BUS_ADRERR, "nonexistent physical address (BUS_ADRERR)"},
    {SIGBUS, BUS_OBJERR, "object-specific hardware error (BUS_OBJERR)"},
    {SIGFPE, FPE_INTDIV, "integer divide by zero (FPE_INTDIV)"},
    {SIGFPE, FPE_INTOVF, "integer overflow (FPE_INTOVF)"},
    {SIGFPE, FPE_FLTDIV, "floating-point divide by zero (FPE_FLTDIV)"},
    {SIGFPE, FPE_FLTOVF, "floating-point overflow (FPE_FLTOVF)"},
    {SIGFPE, FPE_FLTUND, "floating-point underflow (FPE_FLTUND)"},
    {SIGFPE, FPE_FLTRES, "floating-point inexact result (FPE_FLTRES)"},
    {SIGFPE, FPE_FLTINV, "floating-point invalid operation (FPE_FLTINV)"},
    {SIGILL, ILL_ILLOPC, "illegal opcode (ILL_ILLOPC)"},
    {SIGILL, ILL_ILLOPN, "illegal operand (ILL_ILLOPN)"},
    {SIGILL, ILL_PRVOPC, "privileged opcode (ILL_PRVOPC)"},
    {SIGILL, ILL_BADSTK, "internal stack error (ILL_BADSTK)"},
};

}  // namespace

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGFPE:
      return "SIGFPE";
    case SIGILL:
      return "SIGILL";
    default:
      return "signal";
  }
}

const char* SignalCodeText(int signal, int code) {
  for (const CodeName& entry : kCodeNames) {
    if (entry.signal == signal && entry.code == code) return entry.text;
  }
  return nullptr;
}

}  // namespace ostrel::crash
