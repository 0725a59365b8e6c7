#include "crash/stack_walker_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/crash_constants.h"
#include "crash/exception_facts_win.h"
#include "crash/platform_libraries_win.h"
#include "crash/test_recording_output.h"

namespace ostrel::callstack {
namespace {

using crash::RecordingOutput;

TEST(DbgHelpSearch, ProgramFolderThenDebuggingToolsThenDefaultSearch) {
  const auto candidates = DbgHelpCandidates(L"C:\\bin", L"C:\\Program Files");
  ASSERT_EQ(candidates.size(), 5u);
  EXPECT_EQ(candidates[0], std::filesystem::path(L"C:\\bin\\dbghelp.dll"));
  EXPECT_EQ(
      candidates[1],
      std::filesystem::path(L"C:\\Program Files\\Debugging Tools for Windows (x64)\\dbghelp.dll"));
  EXPECT_EQ(
      candidates[3],
      std::filesystem::path(L"C:\\Program Files\\Debugging Tools for Windows 64-Bit\\dbghelp.dll"));
  EXPECT_EQ(candidates[4], std::filesystem::path(L"dbghelp.dll"));
  // Without ProgramFiles only the program folder and the default search remain.
  EXPECT_EQ(DbgHelpCandidates(L"C:\\bin", L"").size(), 2u);
}

__attribute__((noinline)) void WalkHere(RecordingOutput& out, bool* walked) {
  StackWalker walker(crash::kAllWalkOptions, ::GetCurrentProcessId(), ::GetCurrentProcess());
  auto shared = std::shared_ptr<RecordingOutput>(&out, [](RecordingOutput*) {});
  walker.setOutput(shared);
  *walked = walker.showCallstack(::GetCurrentThread());
}

TEST(StackWalker, ListsTheModulesThenTheFramesOfTheCurrentThread) {
  BindPlatformLibraries();
  RecordingOutput out;
  bool walked = false;
  WalkHere(out, &walked);
  ASSERT_TRUE(walked);
  const std::size_t modulesBegin = out.find(crash::kModuleListBegin);
  const std::size_t program = out.find("crash_tests.exe:crash_tests.exe (", modulesBegin);
  const std::size_t kernel = out.find("kernel32.dll", modulesBegin);
  const std::size_t modulesEnd = out.find(crash::kModuleListEnd);
  const std::size_t stackBegin = out.find(crash::kCallStackBegin);
  const std::size_t frame = out.find("WalkHere", stackBegin);
  const std::size_t stackEnd = out.find(crash::kCallStackEnd);
  ASSERT_NE(stackEnd, std::string::npos);
  EXPECT_LT(modulesBegin, program);
  EXPECT_LT(program, modulesEnd);
  EXPECT_LT(kernel, modulesEnd);
  EXPECT_LT(modulesEnd, stackBegin);
  EXPECT_LT(stackBegin, frame);
  EXPECT_LT(frame, stackEnd);
  EXPECT_NE(out.lines[frame].find("[CallStack]  0x"), std::string::npos) << out.lines[frame];
}

TEST(ExceptionFacts, LocatesAnAddressInTheProgramsCodeSection) {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(&WalkHere);
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 1;
  record.ExceptionInformation[1] = 0x10;
  const crash::ExceptionFacts facts = se::ExceptionFactsOf(record);
  const auto base = reinterpret_cast<std::uint64_t>(::GetModuleHandleW(nullptr));
  EXPECT_EQ(facts.code, EXCEPTION_ACCESS_VIOLATION);
  EXPECT_EQ(facts.section, 1u);  // .text
  EXPECT_EQ(facts.offset + 0x1000, reinterpret_cast<std::uint64_t>(&WalkHere) - base);
  EXPECT_NE(facts.modulePath.find("crash_tests.exe"), std::string::npos) << facts.modulePath;
  EXPECT_EQ(facts.parameters, (std::vector<std::uint64_t>{1, 0x10}));
}

TEST(ExceptionFacts, AnAddressOutsideEveryModuleHasNoModule) {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = nullptr;
  const crash::ExceptionFacts facts = se::ExceptionFactsOf(record);
  EXPECT_TRUE(facts.modulePath.empty());
  EXPECT_EQ(facts.section, 0u);
  EXPECT_EQ(facts.offset, 0u);
}

}  // namespace
}  // namespace ostrel::callstack
