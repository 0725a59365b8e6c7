#include "app/worker_count.h"

#include <gtest/gtest.h>

#include "support/ordered_work_pool.h"

namespace {

TEST(WorkerCount, AWholeNumberInRangeOrTheCoresWithALine) {
  const int cores = OrderedWorkPool::DefaultThreads();
  EXPECT_GE(cores, 1);
  EXPECT_EQ(WorkerCount(""), cores);
  EXPECT_EQ(WorkerCount("1"), 1);
  EXPECT_EQ(WorkerCount("3"), 3);
  EXPECT_EQ(WorkerCount("64"), 64);
  for (const char* bad : {"0", "-2", "65", "2.5", "abc", "3 ", "99999999999"}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(WorkerCount(bad), cores) << bad;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(std::string("Threads ") + bad + " is not a whole number from 1 to 64"),
              std::string::npos)
        << out;
  }
}

}  // namespace
