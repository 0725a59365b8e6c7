// Console copies of a thread whose exception report logs could not be opened: the
// report then goes to the console, which becomes the thread's own log, and each later
// line must still reach standard output and standard error once. The scenario runs in a
// child process whose standard output and error are files.
#include <string>
#include <thread>
#include <vector>

#include "exceptions_host.h"

namespace {

constexpr char kEventMarker[] = "console-once event marker";
constexpr char kErrorMarker[] = "console-once error marker";

// Every named slot of the events and errors tables, each held by a thread of its own
// until release() (a thread has one slot of each kind).
class FullTables {
 public:
  explicit FullTables(const korvex_host::TempFolder& dir)
      : release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    auto util_init = korvex_host::proc<decltype(&::util_init)>("util_init");
    for (int i = 0; i < kNamedSlots; ++i) {
      HANDLE attached = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      const std::string events = dir.file("e" + std::to_string(i) + ".log");
      const std::string errors = dir.file("r" + std::to_string(i) + ".log");
      holders_.emplace_back([=, this] {
        util_init(events.c_str(), errors.c_str(), nullptr, nullptr);
        SetEvent(attached);
        WaitForSingleObject(release_, INFINITE);
      });
      WaitForSingleObject(attached, INFINITE);
      CloseHandle(attached);
    }
  }
  ~FullTables() {
    SetEvent(release_);
    for (std::thread& t : holders_) t.join();
    CloseHandle(release_);
  }
  FullTables(const FullTables&) = delete;
  FullTables& operator=(const FullTables&) = delete;

 private:
  static constexpr int kNamedSlots = 39;
  HANDLE release_;
  std::vector<std::thread> holders_;
};

TEST(ConsoleCopies, DISABLED_ChildReportWithoutLogFilesWritesEachLineOnce) {
  exc_host::Settings settings;  // no dumps, no mail
  korvex_host::TempFolder dir("console_full");
  FullTables full(dir);
  auto event = korvex_host::proc<decltype(&::event)>("event");
  auto error = korvex_host::proc<decltype(&::error)>("error");
  exc_host::FaultingThread::run([&](EXCEPTION_POINTERS* pointers) {
    exc_host::filter_i()(pointers);
    event("%s", kEventMarker);
    error("%s", kErrorMarker);
  });
}

// Runs the scenario with standard output and standard error in files; answers the exit
// code and the two texts.
struct ChildRun {
  DWORD exit_code = 255;
  std::string out;
  std::string err;
};

HANDLE inheritable_file(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ChildRun run_with_console_files(const korvex_host::TempFolder& dir, const std::string& test) {
  ChildRun run;
  const std::string out_path = dir.file("stdout.txt");
  const std::string err_path = dir.file("stderr.txt");
  HANDLE out = inheritable_file(out_path);
  HANDLE err = inheritable_file(err_path);
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string command =
      std::string("\"") + program + "\" --gtest_also_run_disabled_tests --gtest_filter=" + test;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out);
  CloseHandle(err);
  run.out = korvex_host::read_file(out_path);
  run.err = korvex_host::read_file(err_path);
  return run;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ConsoleCopies, ReportWithoutLogFilesWritesEachLineOnce) {
  korvex_host::TempFolder dir("console_run");
  const ChildRun run = run_with_console_files(
      dir, "ConsoleCopies.DISABLED_ChildReportWithoutLogFilesWritesEachLineOnce");
  ASSERT_EQ(run.exit_code, 0u) << run.out << run.err;
  // The report itself went to standard output, the thread's own events log now.
  EXPECT_NE(run.out.find("SEH exception catched. Exception report:"), std::string::npos) << run.out;
  EXPECT_EQ(occurrences(run.out, kEventMarker), 1u) << run.out;
  EXPECT_EQ(occurrences(run.out, kErrorMarker), 1u) << run.out;
  EXPECT_EQ(occurrences(run.err, kErrorMarker), 1u) << run.err;
  EXPECT_EQ(occurrences(run.err, kEventMarker), 0u) << run.err;
}

}  // namespace
