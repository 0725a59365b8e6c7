#include "basalt_raise.h"

#include <windows.h>

#include "basalt_constants.h"
#include "pclib.h"

namespace basalt {

void raise_last_error(const char* operation, int line) {
  const unsigned long error = GetLastError();
  place(kSourceName, line);
  kvraise("%s:GetLastError()<%lu>", operation, error);
}

void raise_text(const char* text, int line) {
  place(kSourceName, line);
  kvraise("%s", text);
}

}  // namespace basalt
