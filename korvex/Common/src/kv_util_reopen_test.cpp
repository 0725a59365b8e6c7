// A log that can't be opened again after a forced rotation: the failure is reported as
// an attach reports it, lines are lost meanwhile, and writes retry the open once every
// kReopenRetryWrites lost lines until it works.
//
// Tested here, inside the library, rather than from a host: a host can't make that one
// open fail on this machine. On Windows a read-only log, or one another program holds
// open with delete sharing, can be neither deleted by the rotation nor opened again; but
// wine run as root writes read-only files, and lets a file that is pending deletion be
// opened again. A folder put in the log's place fails the open everywhere, and only the
// library's own handle has to be let go of for that.
#include <cstdint>
#include <string>

#include "kv_util_test_support.h"
#include "pclib.h"

namespace kv {
namespace {

TEST(ReopenAfterRotation, FailureIsReportedAndEveryFewLostLinesRetryTheOpen) {
  test::ensure_library();
  test::TempFolder dir("reopen");
  const std::string log = dir.file("r.log");
  const std::string errors = dir.file("e.log");
  test::on_thread([&] {
    attach_thread(LogTable::events, log.c_str(), nullptr);
    attach_thread(LogTable::errors, errors.c_str(), nullptr);
    write_line(LineKind::event, "before");
    write_line(LineKind::error, "old error");
    // Another program puts a folder where the log was, so that the rotation can neither
    // delete the log nor open it again. The test lets go of the file itself first, as
    // the rotation does when it starts: the library's own handle keeps anyone else from
    // moving the file while it is open.
    Slot& slot = table_of(LogTable::events).slots[thread_slot(LogTable::events)];
    CloseHandle(slot.file);
    slot.file = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(MoveFileA(log.c_str(), (log + ".moved").c_str()));
    ASSERT_TRUE(CreateDirectoryA(log.c_str(), nullptr));

    unsigned reported = 0;
    try {
      ::rotate_log(log.c_str(), errors.c_str(), 0, 0);
    } catch (std::uint32_t code) {
      reported = code;
    } catch (const char* text) {
      ADD_FAILURE() << text;
    }
    EXPECT_NE(reported, 0u);
    EXPECT_EQ(test::read_file(errors), "");  // rotated all the same

    // Two retries fail while the folder is there; the next one, after it has gone, works.
    for (unsigned i = 0; i < 2 * kReopenRetryWrites; ++i) write_line(LineKind::event, "lost %u", i);
    ASSERT_TRUE(RemoveDirectoryA(log.c_str()));
    for (unsigned i = 0; i < kReopenRetryWrites + 2; ++i)
      write_line(LineKind::event, "after %u", i);
  });
  const auto lines = korvex_host::read_lines(log);
  ASSERT_EQ(lines.size(), 3u);
  for (unsigned i = 0; i < 3; ++i) {
    const std::string text = "after " + std::to_string(kReopenRetryWrites - 1 + i);
    EXPECT_EQ(lines[i].substr(lines[i].rfind(": ") + 2), text) << lines[i];
  }
  EXPECT_EQ(korvex_host::read_lines(log + ".moved").size(), 2u);  // "before", "old error"
}

TEST(ReopenAfterRotation, RotatingALogThatCanNotBeAttachedIsReported) {
  test::ensure_library();
  test::TempFolder dir("reopen_attach");
  const std::string folder = dir.file("a_folder.log");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  test::on_thread([&] {
    bool reported = false;
    try {
      ::rotate_log(folder.c_str(), nullptr, 0, 2);
    } catch (std::uint32_t) {
      reported = true;
    } catch (const char*) {
      reported = true;
    }
    EXPECT_TRUE(reported);
    EXPECT_EQ(thread_slot(LogTable::events), kNoSlot);
  });
}

}  // namespace
}  // namespace kv
