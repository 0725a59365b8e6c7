#include "support/progress.h"

#include <chrono>
#include <cstdio>
#include <mutex>

#include "support/platform.h"
#include "support/progress_line.h"

namespace support::progress {

namespace {

void WriteToStderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

double SecondsNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The log may erase the line from another thread (a crash report), hence the lock.
std::mutex& Lock() {
  static std::mutex* mutex = new std::mutex();
  return *mutex;
}

ProgressLine& Line() {
  static ProgressLine* line = new ProgressLine(WriteToStderr, SecondsNow);
  return *line;
}

}  // namespace

void Begin(std::string_view action) {
  if (!StderrIsTerminal()) return;
  std::lock_guard<std::mutex> lock(Lock());
  Line().Begin(action);
}

void SetTotal(int instruments) {
  std::lock_guard<std::mutex> lock(Lock());
  Line().SetTotal(instruments);
}

void SetDate(std::string_view date) {
  std::lock_guard<std::mutex> lock(Lock());
  Line().SetDate(date);
}

void InstrumentDone() {
  std::lock_guard<std::mutex> lock(Lock());
  Line().InstrumentDone();
}

void End() {
  std::lock_guard<std::mutex> lock(Lock());
  Line().End();
}

void MakeRoomForConsoleLine() {
  std::lock_guard<std::mutex> lock(Lock());
  Line().Erase();
}

}  // namespace support::progress
