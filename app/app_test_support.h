// For the application frame's tests: runs ParseParameters in a fresh folder of its own
// (the current directory while the test runs) with a given Barsync.ini, and puts the
// process-wide logs back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/min_replicator.h"
#include "support/log.h"
#include "support/test_temp_dir.h"

class AppTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    MainLog().SetLogLevel(1);
    MainLog().Close();
    ErrorsLog().Close();
  }

  void WriteIni(const std::string& text) { support::WriteTextFile(dir_ / "Barsync.ini", text); }

  // ParseParameters with "Barsync" and args; the standard output and error it produced are
  // kept in out_ and err_.
  bool Parse(std::vector<std::string> args) {
    args.insert(args.begin(), (dir_ / "Barsync").string());
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool result = replicator_.ParseParameters(static_cast<int>(argv.size()), argv.data());
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return result;
  }

  support::TestTempDir dir_;
  std::filesystem::path previous_;
  CMinReplicator replicator_;
  std::string out_;
  std::string err_;
};
