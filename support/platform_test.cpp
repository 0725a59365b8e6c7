#include "support/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/durable_writes.h"
#include "support/temporary_name.h"
#include "support/test_temp_dir.h"

namespace fs = std::filesystem;
using namespace support;

namespace {

TEST(ReplaceFileAtomically, CreatesOrReplacesTheWholeFileAndLeavesNoTemporary) {
  TestTempDir dir;
  const fs::path target = dir / "SEC.dat";
  const std::string first(100000, 'a');
  ASSERT_FALSE(ReplaceFileAtomically(target, first.data(), first.size()));
  EXPECT_EQ(ReadTextFile(target), first);
  const std::string second = "short";
  ASSERT_FALSE(ReplaceFileAtomically(target, second.data(), second.size()));
  EXPECT_EQ(ReadTextFile(target), second);
  const fs::path temp = TemporaryPathFor(target);
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(ReplaceFileAtomically, FailureLeavesTheTargetUntouched) {
  TestTempDir dir;
  const fs::path target = dir / "SEC.dat";
  WriteTextFile(target, "precious");
  // The temporary cannot be created: a directory stands in its place.
  const fs::path temp = TemporaryPathFor(target);
  fs::create_directory(temp);
  EXPECT_TRUE(ReplaceFileAtomically(target, "new", 3));
  EXPECT_EQ(ReadTextFile(target), "precious");
}

TEST(ReplaceFileAtomically, MissingDirectoryIsAnErrorNotACrash) {
  TestTempDir dir;
  const std::error_code error = ReplaceFileAtomically(dir / "no" / "SEC.dat", "x", 1);
  EXPECT_TRUE(error);
  EXPECT_TRUE(IsNothingHere(error));
}

TEST(QueryObject, ClassifiesWhatStandsAtAPath) {
  TestTempDir dir;
  WriteTextFile(dir / "f", "x");
  std::error_code error;
  EXPECT_EQ(QueryObject(dir / "f", error), ObjectKind::kFile);
  EXPECT_EQ(QueryObject(dir.path(), error), ObjectKind::kDirectory);
  EXPECT_EQ(QueryObject(dir / "absent", error), ObjectKind::kNothing);
  EXPECT_FALSE(error);
  EXPECT_EQ(QueryObject(dir / "f" / "below", error), ObjectKind::kNothing);
  EXPECT_FALSE(error);
}

TEST(IsReadOnly, TellsReadOnlyFromWritableFiles) {
  TestTempDir dir;
  WriteTextFile(dir / "f", "x");
  std::error_code error;
  EXPECT_FALSE(IsReadOnly(dir / "f", error));
  fs::permissions(dir / "f",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_TRUE(IsReadOnly(dir / "f", error));
  EXPECT_FALSE(error);
  IsReadOnly(dir / "absent", error);
  EXPECT_TRUE(error);
  fs::permissions(dir / "f", fs::perms::owner_write, fs::perm_options::add);
}

TEST(NarrowPath, RoundTripsPlainText) {
  const std::string text = "C:/Export/Min/20261207";
  EXPECT_EQ(NarrowPath(PathFromNarrow(text)), text);
  EXPECT_EQ(NarrowPath(fs::path()), "");
}

TEST(ThreadIds, DifferBetweenThreadsAndProcessIdIsStable) {
  unsigned other = 0;
  std::thread t([&] { other = CurrentThreadId(); });
  t.join();
  EXPECT_NE(other, CurrentThreadId());
  EXPECT_EQ(CurrentProcessId(), CurrentProcessId());
  EXPECT_NE(CurrentProcessId(), 0u);
}

TEST(OpenForAppend, ReportsMissingDirectoryAsErrno) {
  TestTempDir dir;
  std::error_code error;
  EXPECT_EQ(OpenForAppend(dir / "no" / "x.log", error), nullptr);
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}

}  // namespace

namespace {

TEST(HeldReplaces, NothingTakesEffectUntilPublishedAndDiscardLeavesTheOldFiles) {
  support::TestTempDir dir;
  const std::filesystem::path a = dir / "A.dat";
  const std::filesystem::path b = dir / "B.dat";
  std::ofstream(a) << "old a";
  {
    support::HeldReplaces held;
    support::HoldThreadReplaces(&held);
    ASSERT_FALSE(support::ReplaceFileAtomically(a, "new a", 5));
    ASSERT_FALSE(support::ReplaceFileAtomically(b, "new b", 5));
    support::HoldThreadReplaces(nullptr);
    EXPECT_EQ(support::ReadTextFile(a), "old a");
    EXPECT_FALSE(std::filesystem::exists(b));
    EXPECT_TRUE(std::filesystem::exists(support::TemporaryPathFor(a)));
    held.Discard();
  }
  EXPECT_EQ(support::ReadTextFile(a), "old a");
  EXPECT_FALSE(std::filesystem::exists(support::TemporaryPathFor(a)));
  EXPECT_FALSE(std::filesystem::exists(support::TemporaryPathFor(b)));

  support::HeldReplaces held;
  support::HoldThreadReplaces(&held);
  ASSERT_FALSE(support::ReplaceFileAtomically(a, "new a", 5));
  ASSERT_FALSE(support::ReplaceFileAtomically(b, "new b", 5));
  support::HoldThreadReplaces(nullptr);
  std::filesystem::path failed;
  EXPECT_FALSE(held.Publish(failed));
  support::SyncNotedDirectories();
  EXPECT_EQ(support::ReadTextFile(a), "new a");
  EXPECT_EQ(support::ReadTextFile(b), "new b");
  EXPECT_TRUE(failed.empty());
}

// Skipping the listing of a directory is only sound when it never hides a subdirectory:
// whatever the file system, a "certainly none" answer must match a real listing.
TEST(CertainlyWithoutSubdirectories, NeverClaimsNoneWhereOneIs) {
  TestTempDir dir;
  const auto has_subdirectory = [](const fs::path& path) {
    for (const auto& entry : fs::directory_iterator(path))
      if (entry.is_directory()) return true;
    return false;
  };
  fs::create_directories(dir / "empty");
  fs::create_directories(dir / "files");
  WriteTextFile(dir / "files" / "1.dat", "x");
  WriteTextFile(dir / "files" / "2.dat", "y");
  fs::create_directories(dir / "one" / "sub");
  fs::create_directories(dir / "deep" / "a" / "b" / "c");
  fs::create_directories(dir / "many" / "x");
  fs::create_directories(dir / "many" / "y");
  WriteTextFile(dir / "many" / "z", "z");
  // A subdirectory made and removed again: the count must follow.
  fs::create_directories(dir / "was" / "gone");
  fs::remove(dir / "was" / "gone");
  for (const char* name : {"empty", "files", "one", "deep", "many", "was", "deep/a/b/c"}) {
    const fs::path path = dir / name;
    if (CertainlyWithoutSubdirectories(path)) {
      EXPECT_FALSE(has_subdirectory(path)) << name;
    }
  }
  EXPECT_FALSE(CertainlyWithoutSubdirectories(dir / "one"));
  EXPECT_FALSE(CertainlyWithoutSubdirectories(dir / "many"));
  EXPECT_FALSE(CertainlyWithoutSubdirectories(dir / "files" / "1.dat"));
  EXPECT_FALSE(CertainlyWithoutSubdirectories(dir / "missing"));
}

}  // namespace
