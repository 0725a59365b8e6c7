// A minimal host of Korvex.dll, linked against its import library: attaches the main
// thread to its logs, writes an event and a message through the standard-convention
// export, and catches an error raised inside the DLL by type, after which no exception
// is in flight (the host and the DLL share one C++ runtime). Exit code 0 when all of
// that worked. How to build it: BUILD.txt beside this file.
#include <cstdio>
#include <cstring>
#include <exception>

#include "pclib.h"

int main() {
  util_init(".\\host_events.log", ".\\host_errors.log", "HOST", nullptr);
  event("host example started");
  show_message("hello from the host example");
  bool caught = false;
  try {
    place(__FILE__, __LINE__);
    kvraisec(42, "raised on purpose, code %d", 42);
  } catch (const CError& error) {
    const bool right = error.GetErrorCode() == 42 &&
                       std::strcmp(error.GetErrorDesc(), "raised on purpose, code 42") == 0;
    event("caught CError %d from %s line %d", error.GetErrorCode(), error.GetFile(),
          error.GetLine());
    if (!right) {
      std::printf("host example: the caught error is wrong\n");
      return 1;
    }
    caught = true;
  }
  if (!caught) {
    std::printf("host example: nothing was thrown\n");
    return 1;
  }
  // Built with a C++ runtime of its own (-static-libstdc++ on either side), the host
  // would count -1 here.
  if (std::uncaught_exceptions() != 0) {
    std::printf("host example: %d exceptions in flight after the catch\n",
                std::uncaught_exceptions());
    return 1;
  }
  std::printf("host example: ok\n");
  return 0;
}
