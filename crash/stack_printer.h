// The crash report's output for the program: every line goes to the main log, always written
// (and so to the terminal when there is one).
#pragma once

#include "crash/se_output.h"

class StackPrinter : public ostrel::se::Output {
 public:
  void writeLine(const char* line) override;
  virtual ~StackPrinter();
};
