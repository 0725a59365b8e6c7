// The crash report's output: the call stack walker's output plus the exception block.
#pragma once

#include "crash/callstack_output.h"

namespace ostrel::se {

class Output : public callstack::Output {
 public:
  virtual void exceptionBegin();
  virtual void exceptionEntry(const char* text);
  virtual void exceptionEnd();
};

}  // namespace ostrel::se
