#include "support/log.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "support/log_capture.h"
#include "support/platform.h"
#include "support/progress.h"
#include "support/support_constants.h"

namespace fs = std::filesystem;
using namespace support;

namespace {

struct ThreadPrefix {
  char name[kThreadNameMax + 1] = {};
  char text[kThreadPrefixSize] = {};
  std::size_t length = 0;
  bool set = false;
};

thread_local ThreadPrefix tPrefix;

void FormatPrefix(const char* name) {
  if (name != nullptr) {
    std::strncpy(tPrefix.name, name, kThreadNameMax);
    tPrefix.name[kThreadNameMax] = '\0';
  }
  const int n = name != nullptr ? std::snprintf(tPrefix.text, sizeof tPrefix.text,
                                                " (%u:%s): ", CurrentThreadId(), tPrefix.name)
                                : std::snprintf(tPrefix.text, sizeof tPrefix.text,
                                                " (%u): ", CurrentThreadId());
  const std::size_t len = n < 0 ? 0 : static_cast<std::size_t>(n);
  tPrefix.length = len < sizeof tPrefix.text ? len : sizeof tPrefix.text - 1;
  tPrefix.set = true;
}

const ThreadPrefix& Prefix() {
  if (!tPrefix.set) FormatPrefix(nullptr);
  return tPrefix;
}

// "dd.mm.yy hh:mm:ss.mmm" plus the thread prefix; returns the bytes written.
std::size_t FormatHead(char* buffer, std::size_t size) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  const long long ms =
      duration_cast<milliseconds>(now.time_since_epoch()).count() % kMillisecondsPerSecond;
  const std::tm tm = LocalTime(t);
  const ThreadPrefix& prefix = Prefix();
  const int n = std::snprintf(buffer, size, "%02d.%02d.%02d %02d:%02d:%02d.%03d%s", tm.tm_mday,
                              tm.tm_mon + 1, tm.tm_year - kTmYearOffsetOf2000, tm.tm_hour,
                              tm.tm_min, tm.tm_sec, static_cast<int>(ms), prefix.text);
  if (n < 0) return 0;
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

}  // namespace

Log::Log() : level_(kInitialLogLevel), defaultMessageLevel_(kDefaultMessageLevel) {}

Log::~Log() = default;

std::error_code Log::OpenLocked(const fs::path& file) {
  std::error_code error;
  file_.reset(OpenForAppend(file, error));
  if (!error) return error;
  const fs::path parent = file.parent_path();
  if (error.value() != ENOENT || parent.empty()) return error;
  std::error_code createError;
  fs::create_directories(parent, createError);
  if (createError) return createError;
  file_.reset(OpenForAppend(file, error));
  return error;
}

std::error_code Log::InitLog(const fs::path& file, const char* threadName) {
  if (threadName != nullptr) FormatPrefix(threadName);
  const std::string name = NarrowPath(file);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    consoleEcho_ = StdoutIsTerminal();
    if (!(file_ && name == fileName_)) {
      const std::error_code error = OpenLocked(file);
      fileDescriptor_.store(file_ ? fileno(file_.get()) : -1);
      fileName_ = file_ ? name : std::string();
      fileFailed_ = false;
      if (error) {
        consoleEcho_ = true;  // no file to keep the lines: never drop them
        return error;
      }
    }
  }
  Write("Init log: PID=%d, LogLevel=%d, File='%s'", static_cast<int>(CurrentProcessId()),
        static_cast<int>(GetLevel()), name.c_str());
  return {};
}

std::uint8_t Log::SetLogLevel(std::uint8_t level) {
  const std::uint8_t old = level_.exchange(level);
  if (old != level) Write("SetLogLevel: %d -> %d", static_cast<int>(old), static_cast<int>(level));
  return old;
}

void Log::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  fileDescriptor_.store(-1);
  file_.reset();
  fileName_.clear();
  consoleEcho_ = true;
  fileFailed_ = false;
}

void Log::Write(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(format, args);
  va_end(args);
}

void Log::WriteV(const char* format, va_list args) {
  char line[kLogLineSize];
  const std::size_t head = FormatHead(line, sizeof line);
  const int n = std::vsnprintf(line + head, sizeof line - head, format, args);
  const std::size_t total = head + (n < 0 ? 0 : static_cast<std::size_t>(n));
  std::size_t length;
  if (total >= kLogLineSize) {
    std::memcpy(line + kLogLineSize - kLogCutMarkLength, kLogCutMark, kLogCutMarkLength);
    length = kLogLineSize;
  } else {
    line[total] = '\n';
    length = total + 1;
  }
  Output(line, length);
}

void Log::Output(const char* line, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (consoleEcho_) {
    progress::MakeRoomForConsoleLine();
    std::fwrite(line, 1, length, stdout);
    std::fflush(stdout);
  }
  if (!file_ || fileFailed_) return;
  errno = 0;
  if (std::fwrite(line, 1, length, file_.get()) == length && std::fflush(file_.get()) == 0) return;
  const std::string reason = std::error_code(errno, std::generic_category()).message();
  fileFailed_ = true;
  std::fprintf(stderr, "Can not write into log file %s: %s; its lines go to the standard output\n",
               fileName_.c_str(), reason.c_str());
  std::fflush(stderr);
  if (!consoleEcho_) {
    consoleEcho_ = true;
    std::fwrite(line, 1, length, stdout);
    std::fflush(stdout);
  }
}

Log& MainLog() {
  static Log* log = new Log();  // never destroyed: lines may be written until the very end
  return *log;
}

Log& ErrorsLog() {
  static Log* log = new Log();
  return *log;
}

void SetLogThreadName(const char* name) {
  FormatPrefix(name);
}

void LogAlways(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (LogCapture* capture = ThreadLogCapture())
    capture->Add(LogCapture::Target::kMain, format, args);
  else
    MainLog().WriteV(format, args);
  va_end(args);
}

void LogAt(std::uint8_t level, const char* format, ...) {
  if (!MainLog().Accepts(level)) return;
  va_list args;
  va_start(args, format);
  if (LogCapture* capture = ThreadLogCapture())
    capture->Add(LogCapture::Target::kMain, format, args);
  else
    MainLog().WriteV(format, args);
  va_end(args);
}

void LogError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (LogCapture* capture = ThreadLogCapture()) {
    capture->Add(LogCapture::Target::kErrorsAndMain, format, args);
    va_end(args);
    return;
  }
  va_list copy;
  va_copy(copy, args);
  ErrorsLog().WriteV(format, args);
  MainLog().WriteV(format, copy);
  va_end(copy);
  va_end(args);
}

std::error_code InitLogs(const fs::path& logFile, const fs::path& errorsFile,
                         const char* threadName) {
  std::error_code result = MainLog().InitLog(logFile, threadName);
  if (!result && !errorsFile.empty()) result = ErrorsLog().InitLog(errorsFile, threadName);
  return result;
}

void SetLogLevel(std::uint8_t level) {
  MainLog().SetLogLevel(level);
}
