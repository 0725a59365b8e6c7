// A minimal host of Korvex.dll, linked against its import library: attaches the main
// thread to its logs, writes an event and a message through the standard-convention
// export, and catches an error raised inside the DLL by type. Exit code 0 when all
// of that worked. How to build it: BUILD.txt beside this file.
#include <cstdio>
#include <cstring>

#include "pclib.h"

int main() {
  util_init(".\\host_events.log", ".\\host_errors.log", "HOST", nullptr);
  event("host example started");
  show_message("hello from the host example");
  try {
    place(__FILE__, __LINE__);
    kvraisec(42, "raised on purpose, code %d", 42);
  } catch (const CError& error) {
    const bool right = error.GetErrorCode() == 42 &&
                       std::strcmp(error.GetErrorDesc(), "raised on purpose, code 42") == 0;
    event("caught CError %d from %s line %d", error.GetErrorCode(), error.GetFile(),
          error.GetLine());
    std::printf("host example: %s\n", right ? "ok" : "the caught error is wrong");
    return right ? 0 : 1;
  }
  std::printf("host example: nothing was thrown\n");
  return 1;
}
