// The program's two logs: the main log and the errors log.
//
// A line is "dd.mm.yy hh:mm:ss.mmm (tid:NAME): message\n" in local time; a line that would
// reach 2048 bytes is cut to exactly 2048 bytes ending in "...\n". Each line is flushed to
// the file as it is written. Until a log is opened every line goes to the standard output;
// after InitLog, only when the standard output is a terminal. When a write to the file
// fails (a full disk), one line on the standard error says so and every later line goes
// to the standard output, so that a run never ends without a word. Logging never throws at its
// caller (apart from a failing mutex) and never writes past its 2048-byte line buffer.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#if defined(__MINGW32__)
#define BARSYNC_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define BARSYNC_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

class Log {
 public:
  Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;
  ~Log();

  // Sets the calling thread's prefix from threadName (when not null), then opens file for
  // appending, creating missing parent directories. Opening the file already open succeeds
  // without reopening. Writes "Init log: PID=..., LogLevel=..., File='...'" on success.
  // Returns the C library's error (generic category) or the directory creation error;
  // after a failure the lines go to the standard output, terminal or not.
  std::error_code InitLog(const std::filesystem::path& file, const char* threadName);

  // Exchanges the level; when it changed, writes "SetLogLevel: old -> new". Returns the old.
  std::uint8_t SetLogLevel(std::uint8_t level);
  std::uint8_t GetLevel() const { return level_.load(); }
  std::uint8_t DefaultMessageLevel() const { return defaultMessageLevel_; }
  // True when a message of this level passes the log's level.
  bool Accepts(std::uint8_t messageLevel) const { return level_.load() >= messageLevel; }

  // Builds and outputs one line without level filtering.
  void Write(const char* format, ...) BARSYNC_PRINTF(2, 3);
  void WriteV(const char* format, va_list args);

  // Closes the file, if any; later lines go to the standard output again. For tests.
  void Close();

  // Descriptor of the open file, or -1. Read without the mutex by the crash report, which
  // writes from a signal handler with write(2).
  int FileDescriptor() const { return fileDescriptor_.load(); }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::error_code OpenLocked(const std::filesystem::path& file);
  void Output(const char* line, std::size_t length);

  std::mutex mutex_;
  std::string fileName_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  bool consoleEcho_ = true;
  bool fileFailed_ = false;  // a write to the file failed: its lines go to the console
  std::atomic<std::uint8_t> level_;
  std::uint8_t defaultMessageLevel_;
  std::atomic<int> fileDescriptor_{-1};
};

// The two process-wide logs (constructed on first use, never destroyed early).
Log& MainLog();
Log& ErrorsLog();

// Sets the calling thread's name (at most 7 characters) for the line prefix.
void SetLogThreadName(const char* name);

// To the main log, always written.
void LogAlways(const char* format, ...) BARSYNC_PRINTF(1, 2);
// To the main log when its level is at least level.
void LogAt(std::uint8_t level, const char* format, ...) BARSYNC_PRINTF(2, 3);
// To the errors log, then to the main log, always written to both.
void LogError(const char* format, ...) BARSYNC_PRINTF(1, 2);

// Opens the main log, then (when that worked and errorsFile is not empty) the errors log.
// Returns the last result.
std::error_code InitLogs(const std::filesystem::path& logFile,
                         const std::filesystem::path& errorsFile, const char* threadName);

// Sets the main log's level.
void SetLogLevel(std::uint8_t level);
