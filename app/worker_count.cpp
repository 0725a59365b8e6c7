#include "app/worker_count.h"

#include <charconv>

#include "support/log.h"
#include "support/ordered_work_pool.h"

int WorkerCount(const std::string& text) {
  const int cores = OrderedWorkPool::DefaultThreads();
  if (text.empty()) return cores;
  int count = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, count);
  if (error != std::errc() || stop != end || count < 1 || count > kMaxWorkers) {
    LogError("%s %s is not a whole number from 1 to %d; %d workers are used", kThreadsKey,
             text.c_str(), kMaxWorkers, cores);
    return cores;
  }
  return count;
}
