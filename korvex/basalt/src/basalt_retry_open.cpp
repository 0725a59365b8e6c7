#include <utility>

#include "basalt_constants.h"
#include "basalt_file.h"
#include "pclib.h"

namespace basalt {
namespace {

// Writes an "O" line for the thread's last OS error, positioned in this layer, without
// letting the positioning disturb that error.
template <class... Args>
void log_os_error(int line, const char* format, Args... args) {
  const DWORD error = GetLastError();
  place(kSourceName, line);
  SetLastError(error);
  oserrori(format, args...);
}

}  // namespace

RetryingFileOpener::RetryingFileOpener(std::string file_name, int attempts, unsigned pause_ms)
    : file_name_(std::move(file_name)), attempts_(attempts), pause_ms_(pause_ms) {}

RetryingFileOpener::~RetryingFileOpener() {
  close();
}

bool RetryingFileOpener::open() {
  close();
  for (int attempt = 1; attempt <= attempts_; ++attempt) {
    handle_ = CreateFileA(file_name_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ != INVALID_HANDLE_VALUE) return true;
    log_os_error(__LINE__, "Can't read file <name=%s><attempt=%d>", file_name_.c_str(), attempt);
    Sleep(pause_ms_);
  }
  log_os_error(__LINE__, "Can't read file <name=%s>", file_name_.c_str());
  return false;
}

void RetryingFileOpener::close() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

}  // namespace basalt
