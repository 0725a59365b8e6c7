#include "support/log_capture.h"

#include <cstdio>

#include "support/log.h"

namespace {
thread_local LogCapture* tCapture = nullptr;
}  // namespace

void LogCapture::Add(Target target, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  lines_.push_back(Line{target, std::move(text)});
}

void LogCapture::Replay() {
  for (const Line& line : lines_) {
    if (line.target == Target::kErrorsAndMain) ErrorsLog().Write("%s", line.text.c_str());
    MainLog().Write("%s", line.text.c_str());
  }
  lines_.clear();
}

void CaptureThreadLog(LogCapture* capture) {
  tCapture = capture;
}

LogCapture* ThreadLogCapture() {
  return tCapture;
}
