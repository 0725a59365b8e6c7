#include "crash/se_output.h"

#include "crash/crash_constants.h"

namespace ostrel::se {

void Output::exceptionBegin() {
  writeLine(crash::kExceptionBegin);
}
void Output::exceptionEntry(const char* text) {
  writeLine(text);
}
void Output::exceptionEnd() {
  writeLine(crash::kExceptionEnd);
}

}  // namespace ostrel::se
