// Korvex host tests: daily rotation from the settings file and forced rotation.
#include "korvex_host.h"

namespace {

using korvex_host::file_exists;
using korvex_host::on_own_thread;
using korvex_host::proc;
using korvex_host::read_file;
using korvex_host::read_lines;
using korvex_host::TempFolder;
using korvex_host::write_file;

struct Exports {
  decltype(&::util_init) util_init = proc<decltype(&::util_init)>("util_init");
  decltype(&::event) event = proc<decltype(&::event)>("event");
  decltype(&::rotate_log) rotate_log = proc<decltype(&::rotate_log)>("rotate_log");
};

constexpr ULONGLONG kTicksPerDay = 24ULL * 60 * 60 * 10000000;

// Dates a file to yesterday. The library keeps the local wall-clock time in the
// creation time; the last write time is set too, which is where wine keeps it.
void date_to_yesterday(const std::string& path) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&now, &ft));
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  t.QuadPart -= kTicksPerDay;
  ft.dwLowDateTime = t.LowPart;
  ft.dwHighDateTime = t.HighPart;
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetFileTime(h, &ft, nullptr, &ft));
  CloseHandle(h);
}

TEST(LogRotation, DailyRotationKeepsThreeGenerations) {
  TempFolder dir("daily");
  Exports k;
  const std::string log = dir.file("events.log");
  write_file(log, "gen0\r\n");
  write_file(log + ".1", "gen1\r\n");
  write_file(log + ".2", "gen2\r\n");
  write_file(log + ".3", "gen3\r\n");
  date_to_yesterday(log);
  const std::string ini = dir.file("host.ini");
  write_file(
      ini, "[other]\r\nrotate=events.log,9\r\n[logfile]\r\n rotate\t= D:\\x\\events.log , 3 \r\n");
  on_own_thread([&] {
    k.util_init(log.c_str(), nullptr, nullptr, ini.c_str());
    k.event("today");
  });
  EXPECT_EQ(read_file(log + ".1"), "gen0\r\n");
  EXPECT_EQ(read_file(log + ".2"), "gen1\r\n");
  EXPECT_EQ(read_file(log + ".3"), "gen2\r\n");
  EXPECT_FALSE(file_exists(log + ".4"));
  const auto lines = read_lines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("today"), std::string::npos);
}

TEST(LogRotation, NoRotationWithoutAMatchingNumberedEntryOrWhenCreatedToday) {
  TempFolder dir("daily_not");
  Exports k;
  const std::string ini = dir.file("host.ini");
  write_file(ini,
             "[logfile]\r\nrotate=nonumber.log\r\nrotate=today.log,2\r\nrotate=zzz.log,2\r\n"
             "rotate=e.log,2\r\nrotate=errors.log,abc\r\n");
  for (const char* name : {"nonumber.log", "today.log", "unlisted.log", "errors.log"}) {
    write_file(dir.file(name), "old\r\n");
    if (std::string(name) != "today.log") date_to_yesterday(dir.file(name));
  }
  on_own_thread([&] {
    for (const char* name : {"nonumber.log", "today.log", "unlisted.log"}) {
      k.util_init(dir.file(name).c_str(), nullptr, nullptr, ini.c_str());
      k.event("new");
    }
    k.util_init(nullptr, dir.file("errors.log").c_str(), nullptr, ini.c_str());
  });
  for (const char* name : {"nonumber.log", "today.log", "unlisted.log"}) {
    EXPECT_FALSE(file_exists(dir.file(name) + ".1")) << name;
    const auto lines = read_lines(dir.file(name));
    ASSERT_EQ(lines.size(), 2u) << name;
    EXPECT_EQ(lines[0], "old");
  }
  EXPECT_EQ(read_file(dir.file("errors.log")), "old\r\n");
}

TEST(LogRotation, RotationStopsAtAMoveThatFailsInsteadOfOverwriting) {
  TempFolder dir("daily_stuck");
  Exports k;
  const std::string log = dir.file("s.log");
  write_file(log, "gen0\r\n");
  write_file(log + ".1", "gen1\r\n");
  write_file(log + ".2", "gen2\r\n");
  date_to_yesterday(log);
  const std::string ini = dir.file("host.ini");
  write_file(ini, "[logfile]\r\nrotate=s.log,3\r\n");
  // .2 can't be moved while it is open without delete sharing.
  HANDLE h = CreateFileA((log + ".2").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  on_own_thread([&] {
    k.util_init(log.c_str(), nullptr, nullptr, ini.c_str());
    k.event("today");
  });
  CloseHandle(h);
  EXPECT_EQ(read_file(log + ".2"), "gen2\r\n");
  EXPECT_EQ(read_file(log + ".1"), "gen1\r\n");
  EXPECT_FALSE(file_exists(log + ".3"));
  const auto lines = read_lines(log);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "gen0");
}

TEST(LogRotation, RotateLogWithZeroGenerationsStartsAnEmptyFile) {
  TempFolder dir("forced0");
  Exports k;
  const std::string log = dir.file("events.log");
  on_own_thread([&] {
    k.util_init(log.c_str(), nullptr, nullptr, nullptr);
    k.event("before");
    k.rotate_log(log.c_str(), nullptr, 0, 0);
    EXPECT_TRUE(file_exists(log));
    EXPECT_EQ(read_file(log), "");
    k.event("after");
  });
  const auto lines = read_lines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("after"), std::string::npos);
  EXPECT_FALSE(file_exists(log + ".1"));
}

TEST(LogRotation, RotateLogKeepsGenerationsWhileOtherThreadsWrite) {
  TempFolder dir("forced2");
  Exports k;
  const std::string events = dir.file("events.log");
  const std::string errors = dir.file("errors.log");
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE rotated = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread writer([&] {
    k.util_init(events.c_str(), errors.c_str(), nullptr, nullptr);
    k.event("first");
    SetEvent(go);
    WaitForSingleObject(rotated, 10000);
    k.event("second");
  });
  WaitForSingleObject(go, 10000);
  on_own_thread([&] { k.rotate_log(events.c_str(), errors.c_str(), 0, 2); });
  SetEvent(rotated);
  writer.join();
  CloseHandle(go);
  CloseHandle(rotated);
  const auto old_lines = read_lines(events + ".1");
  ASSERT_EQ(old_lines.size(), 1u);
  EXPECT_NE(old_lines[0].find("first"), std::string::npos);
  const auto new_lines = read_lines(events);
  ASSERT_EQ(new_lines.size(), 1u);
  EXPECT_NE(new_lines[0].find("second"), std::string::npos);
  EXPECT_TRUE(file_exists(errors + ".1"));
  EXPECT_FALSE(file_exists(events + ".2"));
}

TEST(LogRotation, RotateLogOfALogNotOpenAttachesTheCallerWithoutRotating) {
  TempFolder dir("forced_closed");
  Exports k;
  const std::string log = dir.file("late.log");
  write_file(log, "kept\r\n");
  on_own_thread([&] {
    k.rotate_log(log.c_str(), nullptr, 0, 3);
    k.event("attached");
  });
  EXPECT_FALSE(file_exists(log + ".1"));
  const auto lines = read_lines(log);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "kept");
}

}  // namespace
