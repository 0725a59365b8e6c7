#include "crash/stack_printer.h"

#include "support/log.h"

void StackPrinter::writeLine(const char* line) {
  LogAlways("%s", line);
}

StackPrinter::~StackPrinter() = default;
