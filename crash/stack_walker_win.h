// Writes the module list and the call stack of a thread of this process through an output
// object, using the debug-help functions bound at start. Runs on the reporting thread; suspends
// another thread only while walking it. Every failed debug-help call becomes one error line;
// only a failure of the walk itself ends the stack early. The walk stops after kMaxFrames
// frames, and after more than the maximum recursion count of identical frames.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "crash/callstack_output.h"
#include "crash/report_lines.h"

namespace ostrel::callstack {

enum class CallstackEntryType { kFirst = 0, kNext = 1, kLast = 2 };

struct CallstackEntry : crash::FrameFacts {
  DWORD symbolType = 0;
};

class StackWalker {
 public:
  StackWalker(int options, DWORD processId, HANDLE process);
  StackWalker(const StackWalker&) = delete;
  StackWalker& operator=(const StackWalker&) = delete;
  virtual ~StackWalker();

  virtual void onLoadModule(const char* imagePath, const char* moduleName, DWORD64 base, DWORD size,
                            DWORD loadResult, const char* symbolType, const char* symbolFile,
                            std::optional<ULONGLONG> fileVersion);
  virtual void onCallStackEntry(CallstackEntryType kind, const CallstackEntry& entry);
  virtual void onDbgHelpError(const char* function, DWORD errorCode, DWORD64 address);

  void setOutput(std::shared_ptr<Output> output) { output_ = std::move(output); }

  // Writes the stack of thread, starting from context when given; without one, the current
  // thread's context is captured here, another thread's is read while it is suspended.
  // False when the debug-help library is unusable or another thread's context is unreadable.
  bool showCallstack(HANDLE thread, const CONTEXT* context = nullptr);

 private:
  bool initialise();
  void loadModules();
  bool listWithToolhelp();
  bool listWithPsapi();
  void loadModule(const char* imagePath, const char* moduleName, DWORD64 base, DWORD size);
  std::optional<ULONGLONG> fileVersion(const char* imagePath) const;
  void fillEntry(DWORD64 programCounter, CallstackEntry& entry);
  void walk(HANDLE thread, CONTEXT& context);

  std::shared_ptr<Output> output_;
  int options_;
  int maxRecursionCount_;
  HANDLE process_;
  DWORD processId_;
  bool initialised_ = false;
  bool symbolsInitialised_ = false;
  int modulesListed_ = 0;
};

}  // namespace ostrel::callstack
