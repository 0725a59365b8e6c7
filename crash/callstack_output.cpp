#include "crash/callstack_output.h"

#include <cstdio>

#include "crash/crash_constants.h"

namespace ostrel::callstack {

void Output::moduleListBegin() {
  writeLine(crash::kModuleListBegin);
}
void Output::moduleEntry(const char* line) {
  writeLine(line);
}
void Output::moduleListEnd() {
  writeLine(crash::kModuleListEnd);
}
void Output::callStackBegin() {
  writeLine(crash::kCallStackBegin);
}
void Output::callStackEntry(const char* line) {
  writeLine(line);
}
void Output::callStackEnd() {
  writeLine(crash::kCallStackEnd);
}

void Output::writeLine(const char* line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace ostrel::callstack
