// The Linux crash report, written from a fatal signal's handler: only async-signal-safe calls,
// no allocation, lines built in fixed buffers and written with write(2).
#pragma once

#include <csignal>
#include <cstdint>

#include "crash/raw_line.h"

namespace ostrel::crash {

// Where the lines go and how their heads are made.
struct ReportSinks {
  int logFd = -1;     // the main log's file, or -1
  int errorsFd = -1;  // the errors log's file, or -1
  bool echo = false;  // also to the standard output
  std::int64_t utcOffsetSeconds = 0;
  unsigned threadId = 0;
};

class SignalReport {
 public:
  explicit SignalReport(const ReportSinks& sinks) : sinks_(sinks) {}

  // The whole report of signal: the dump line, the exception block, the module list and the
  // call stack, then the closing line (also to the errors log).
  void write(int signal, const siginfo_t& info, const void* context);

  // One line to the main log (and the errors log when alsoErrors), head included.
  void line(const char* text, bool alsoErrors = false);
  // Starts a line: clears the buffer and writes the head; finish it with emit().
  RawLine& start();
  void emit(bool alsoErrors = false);

 private:
  void exceptionBlock(int signal, const siginfo_t& info, std::uintptr_t pc, std::uintptr_t sp);
  void moduleList();
  void callStack(std::uintptr_t pc);
  void frameLine(const void* address);

  ReportSinks sinks_;
  RawLine line_;
};

// Writes all of data to fd, retrying short writes and interruptions; false on an error.
bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace ostrel::crash
