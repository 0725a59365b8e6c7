// Helpers of the exception host tests: real structured exceptions caught by a test
// vectored handler, "varnek.ini" settings held for one test, the dump folder, the
// calling thread's report lines, the test doubles' query functions, and scenarios run
// in a fresh child process (the filters keep process-wide state).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "korvex_host.h"
#include "kverror.h"
#include "kvexc.h"
#include "pclib.h"

namespace exc_host {

using FilterFn = int(__stdcall*)(EXCEPTION_POINTERS*);
using SendInfoQueryFn = int(__cdecl*)(unsigned char* record, void** module, int* kind);
using SentMailFn = int(__cdecl*)(int field, char* out, int size);
using FailWithFn = void(__cdecl*)(const char* reason);

inline FilterFn filter_i() {
  return korvex_host::proc<FilterFn>("_ExcFilterI@4");
}
inline FilterFn filter() {
  return korvex_host::proc<FilterFn>("_ExcFilter@4");
}

// Attaches the calling thread to the host folder's events log (where exception reports
// go), so that the dump lines written before the report land there too.
inline void attach_to_report_log() {
  korvex_host::proc<decltype(&::util_init)>("util_init")(".\\events.log", nullptr, nullptr,
                                                         nullptr);
}

// The in-process filter as a host calls it, on a thread attached to the report log.
inline int run_filter_i(EXCEPTION_POINTERS* pointers) {
  attach_to_report_log();
  return filter_i()(pointers);
}

// The settings file shared by every host program of the folder.
inline std::string settings_file() {
  return korvex_host::host_folder() + "varnek.ini";
}

// Holds the settings of the exception tests for the lifetime of the object: one such
// test at a time (across processes), each starting from the same values.
class Settings {
 public:
  Settings() : mutex_(CreateMutexA(nullptr, FALSE, "korvex_exception_tests_settings")) {
    const DWORD r = WaitForSingleObject(mutex_, 120000);
    held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
    set("dumps", "auto", "0");
    set("dumps", "fulloncrash", "0");
    set("seh_sender", "enabled", "0");
  }
  ~Settings() {
    if (held_) ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  // Writes a key and reads it back (another program of the folder may be writing too).
  void set(const char* section, const char* key, const char* value) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      WritePrivateProfileStringA(section, key, value, settings_file().c_str());
      char back[256] = "";
      GetPrivateProfileStringA(section, key, "", back, sizeof back, settings_file().c_str());
      if (std::string(back) == value) return;
    }
    ADD_FAILURE() << "can't set " << section << "." << key;
  }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

// Makes a fresh folder the current folder (dumps go to ".\Dumps\") for the test.
class InFolder {
 public:
  explicit InFolder(const std::string& name) : folder_(name) {
    char old[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, old);
    old_ = old;
    SetCurrentDirectoryA(folder_.path().c_str());
  }
  ~InFolder() { SetCurrentDirectoryA(old_.c_str()); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

  // The files in Dumps\<today>\ (names only, sorted as the system lists them).
  std::vector<std::string> dumps() const {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char day[16];
    std::snprintf(day, sizeof day, "%04u%02u%02u", t.wYear, t.wMonth, t.wDay);
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const std::string pattern = folder_.path() + "\\Dumps\\" + day + "\\*.dmp";
    HANDLE h = FindFirstFileA(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      names.push_back(found.cFileName);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return names;
  }

 private:
  korvex_host::TempFolder folder_;
  std::string old_;
};

// Where the running test's part of the host folder's events.log begins. Lines written
// before the test started are not its own, even with its process and thread numbers:
// the system reuses them, so an earlier run's lines may carry the same ones.
inline std::size_t& log_start() {
  static std::size_t at = 0;
  return at;
}

class LogStartListener : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    log_start() = korvex_host::file_size(korvex_host::host_folder() + "events.log");
  }
};
inline const bool log_start_listener = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new LogStartListener);
  return true;
}();

// The lines of the host folder's events.log written by one thread of this process since
// the test started.
inline std::vector<std::string> thread_lines(DWORD thread_id) {
  const std::string id =
      "(" + std::to_string(GetCurrentProcessId()) + ":" + std::to_string(thread_id);
  std::vector<std::string> mine;
  for (const std::string& line :
       korvex_host::read_lines(korvex_host::host_folder() + "events.log", log_start()))
    if (line.find(id + ":") != std::string::npos || line.find(id + ")") != std::string::npos)
      mine.push_back(line);
  return mine;
}

inline bool any_line_has(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

inline bool any_line_ends_with(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines)
    if (line.size() >= text.size() &&
        line.compare(line.size() - text.size(), text.size(), text) == 0)
      return true;
  return false;
}

// Runs a new thread that faults for real: a write through a null pointer, a stack
// overflow, or RaiseException with another code and the parameters 0x11, 0x22. The test's vectored
// handler passes the exception to on_fault on the faulting thread, then ends that
// thread with exit code 0 (unless on_fault ended it). Answers its id and exit code.
class FaultingThread {
 public:
  using OnFault = std::function<void(EXCEPTION_POINTERS*)>;

  struct Outcome {
    DWORD thread_id;
    DWORD exit_code;
  };

  // attached: the faulting thread attaches itself to the report log before it faults.
  static Outcome run(OnFault on_fault, DWORD code = EXCEPTION_ACCESS_VIOLATION,
                     bool attached = false) {
    FaultingThread self{std::move(on_fault), code};
    self.attached_ = attached;
    PVOID handler = AddVectoredExceptionHandler(1, &FaultingThread::handler);
    current() = &self;
    DWORD id = 0;
    DWORD exit_code = 0;
    HANDLE thread = CreateThread(nullptr, 0, &FaultingThread::body, &self, 0, &id);
    WaitForSingleObject(thread, INFINITE);
    GetExitCodeThread(thread, &exit_code);
    CloseHandle(thread);
    current() = nullptr;
    RemoveVectoredExceptionHandler(handler);
    return Outcome{id, exit_code};
  }

 private:
  FaultingThread(OnFault on_fault, DWORD code) : on_fault_(std::move(on_fault)), code_(code) {}

  static FaultingThread*& current() {
    static FaultingThread* self = nullptr;
    return self;
  }

  static DWORD WINAPI body(void* data) {
    auto* self = static_cast<FaultingThread*>(data);
    self->thread_id_ = GetCurrentThreadId();
    if (self->attached_) attach_to_report_log();
    if (self->code_ == EXCEPTION_ACCESS_VIOLATION) {
      volatile int* nowhere = nullptr;
      *nowhere = 1;
    } else if (self->code_ == EXCEPTION_STACK_OVERFLOW) {
      overflow(0);
    } else {
      const ULONG_PTR params[2] = {0x11, 0x22};
      RaiseException(self->code_, 0, 2, params);
    }
    return 0;
  }

  // Calls itself until the stack is gone (each call keeps a page of it); the limit is
  // never reached.
  static __attribute__((noinline)) int overflow(int depth) {
    volatile char page[4096];
    page[0] = static_cast<char>(depth);
    if (depth == INT_MAX) return page[0];
    return overflow(depth + 1) + page[0];
  }

  static LONG WINAPI handler(EXCEPTION_POINTERS* pointers) {
    FaultingThread* self = current();
    if (!self || GetCurrentThreadId() != self->thread_id_) return EXCEPTION_CONTINUE_SEARCH;
    if (pointers->ExceptionRecord->ExceptionCode != self->code_) return EXCEPTION_CONTINUE_SEARCH;
    if (self->code_ == EXCEPTION_STACK_OVERFLOW) {
      on_fault_with_stack_left(self, pointers);
    } else {
      self->on_fault_(pointers);
    }
    ExitThread(0);
  }

  // A recursion of small frames faults with less than the system's guaranteed part of the
  // stack left (a page in 32-bit programs, two in 64-bit ones), less the exception's own
  // record, context and dispatch frames; overflow() may leave up to three pages more,
  // depending on where its 4 KB frames fell, and a host's handler calls the filter through
  // frames of its own. So on_fault runs with kStackLeftAfterOverflow bytes between its
  // frame and the stack's usable end, less than the guaranteed part: enough to start a
  // thread and wait for it, too few to compose an exception report there (the figures lie
  // between what each needs in that build).
  static __attribute__((noinline)) void on_fault_with_stack_left(FaultingThread* self,
                                                                 EXCEPTION_POINTERS* pointers) {
    // The end: the stack's lowest page is never usable.
    ULONG_PTR lowest = 0, highest = 0;
    GetCurrentThreadStackLimits(&lowest, &highest);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::uintptr_t end = lowest + system.dwPageSize;
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const std::size_t take = here > end + kStackLeftAfterOverflow + kFrameAllowance
                                 ? here - end - kStackLeftAfterOverflow - kFrameAllowance
                                 : 0;
    volatile char* taken = static_cast<volatile char*>(__builtin_alloca(take + 1));
    taken[0] = 0;
    self->on_fault_(pointers);
    taken[0] = 1;  // keeps the space taken until on_fault has returned
  }

  static constexpr std::size_t kStackLeftAfterOverflow = sizeof(void*) == 8 ? 2560 : 1792;
  static constexpr std::size_t kFrameAllowance = 256;  // this frame's own and the call's

  OnFault on_fault_;
  DWORD code_;
  bool attached_ = false;
  DWORD thread_id_ = 0;
};

// The test doubles (loaded here too, so that what they recorded outlives Korvex's own
// load and unload of them).
inline HMODULE double_dll(const char* name) {
  HMODULE m = LoadLibraryA(name);
  if (!m) throw std::runtime_error(std::string("can't load the test double ") + name);
  return m;
}

template <class F>
F double_proc(const char* dll, const char* name) {
  FARPROC p = GetProcAddress(double_dll(dll), name);
  if (!p) throw std::runtime_error(std::string(dll) + " lacks " + name);
  return reinterpret_cast<F>(reinterpret_cast<void*>(p));
}

inline int mails_sent() {
  return double_proc<SentMailFn>("postrel.dll", "TestSentMail")(0, nullptr, 0);
}

inline std::string mail_field(int field) {
  std::vector<char> out(1 << 16);
  double_proc<SentMailFn>("postrel.dll", "TestSentMail")(field, out.data(),
                                                         static_cast<int>(out.size()));
  return out.data();
}

// The exit code run_scenario answers for a child that did not end within its limit.
inline constexpr DWORD kScenarioTimedOut = 0xDEAD;

// A scenario test named DISABLED_Child<name> of this program, run alone in a child process
// with extra environment variables ("NAME=value"). Answers the child's exit code, or
// kScenarioTimedOut (the child is then ended) when it ran longer than limit_ms.
inline DWORD run_scenario(const std::string& suite, const std::string& name,
                          const std::vector<std::string>& environment = {},
                          DWORD limit_ms = 120000) {
  for (const std::string& e : environment) {
    const std::size_t eq = e.find('=');
    SetEnvironmentVariableA(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str());
  }
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string command = std::string("\"") + program + "\" --gtest_also_run_disabled_tests " +
                        "--gtest_filter=" + suite + ".DISABLED_Child" + name;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  DWORD code = 255;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    if (WaitForSingleObject(process.hProcess, limit_ms) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &code);
    } else {
      TerminateProcess(process.hProcess, kScenarioTimedOut);
      WaitForSingleObject(process.hProcess, 10000);
      code = kScenarioTimedOut;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  for (const std::string& e : environment)
    SetEnvironmentVariableA(e.substr(0, e.find('=')).c_str(), nullptr);
  return code;
}

}  // namespace exc_host
