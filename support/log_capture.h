// Lines held back instead of written: a thread that works on one instrument while others
// work on theirs keeps its log lines here, and the run writes them later, in the order in
// which one thread alone would have written them.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

class LogCapture {
 public:
  enum class Target { kMain, kErrorsAndMain };

  // Keeps the message (format with its arguments, without the line head).
  void Add(Target target, const char* format, va_list args);

  // Writes every kept line through the logs, in order (the heads are made now, on the
  // calling thread), and forgets them.
  void Replay();

  bool empty() const { return lines_.empty(); }

 private:
  struct Line {
    Target target;
    std::string text;
  };
  std::vector<Line> lines_;
};

// Sets where the calling thread's LogAlways, LogAt and LogError lines go: into capture
// (when not null; LogAt still drops lines above the main log's level), or straight to the
// logs (null, the start of every thread). The capture must outlive its use.
void CaptureThreadLog(LogCapture* capture);
LogCapture* ThreadLogCapture();
