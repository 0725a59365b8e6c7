#include "support/ordered_work_pool.h"

#include <algorithm>

namespace {
// Pieces that may wait to be written, per worker: enough to keep every worker busy while
// the oldest piece is still running, few enough to keep memory flat.
constexpr std::size_t kUnwrittenPerThread = 2;
}  // namespace

OrderedWorkPool::OrderedWorkPool(int threads) : threads_(std::max(threads, 1)) {
  if (threads_ == 1) return;
  previousCapture_ = ThreadLogCapture();
  OpenOwnLines();
  for (int i = 0; i < threads_; ++i) workers_.emplace_back([this] { Worker(); });
}

OrderedWorkPool::~OrderedWorkPool() {
  if (finished_) return;
  Stop();
  try {
    Finish();
  } catch (...) {
    // The run is already ending with the exception that left the handing-in thread.
  }
}

int OrderedWorkPool::DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

void OrderedWorkPool::Submit(const std::string& key, std::function<void()> work,
                             std::function<void()> commit, std::function<void()> discard) {
  if (stopped_) return;
  if (threads_ == 1) {
    work();
    commit();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    WriteDone(lock);
    if (stopped_) return;
    const bool mustWait =
        KeyHeld(key) ? Unwritten() > 0 : Unwritten() >= kUnwrittenPerThread * threads_;
    if (!mustWait) break;
    changed_.wait(lock);
  }
  auto piece = std::make_shared<Piece>();
  piece->key = key;
  piece->work = std::move(work);
  piece->commit = std::move(commit);
  piece->discard = std::move(discard);
  CloseOwnLines();
  order_.push_back(piece);
  waiting_.push_back(piece);
  OpenOwnLines();
  changed_.notify_all();
}

void OrderedWorkPool::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  for (const auto& piece : waiting_)
    order_.erase(std::remove(order_.begin(), order_.end(), piece), order_.end());
  waiting_.clear();
  changed_.notify_all();
}

void OrderedWorkPool::Abandon() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  for (const auto& piece : waiting_)
    order_.erase(std::remove(order_.begin(), order_.end(), piece), order_.end());
  waiting_.clear();
  for (const auto& piece : order_) piece->abandoned = true;
  changed_.notify_all();
}

void OrderedWorkPool::Finish() {
  if (finished_) return;
  finished_ = true;
  if (threads_ == 1) return;
  try {
    Drain();
  } catch (...) {
    Stop();
    try {
      Drain();  // what had started is still written
    } catch (...) {
    }
    EndWorkers();
    throw;
  }
  EndWorkers();
}

void OrderedWorkPool::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  CloseOwnLines();
  CaptureThreadLog(previousCapture_);
  for (;;) {
    WriteDone(lock);
    if (order_.empty()) return;
    changed_.wait(lock);
  }
}

void OrderedWorkPool::Worker() {
  CaptureThreadLog(nullptr);
  for (;;) {
    std::shared_ptr<Piece> piece;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      piece = waiting_.front();
      waiting_.pop_front();
      piece->started = true;
    }
    CaptureThreadLog(&piece->lines);
    try {
      piece->work();
    } catch (...) {
      piece->error = std::current_exception();
    }
    CaptureThreadLog(nullptr);
    std::lock_guard<std::mutex> lock(mutex_);
    piece->work = nullptr;
    piece->done = true;
    changed_.notify_all();
  }
}

void OrderedWorkPool::WriteDone(std::unique_lock<std::mutex>& lock) {
  while (!order_.empty() && order_.front()->done) {
    const std::shared_ptr<Piece> piece = order_.front();
    order_.pop_front();
    lock.unlock();
    // The commit step's own lines follow the piece's at once.
    LogCapture* const own = ThreadLogCapture();
    CaptureThreadLog(nullptr);
    if (piece->abandoned) {
      if (piece->discard) piece->discard();
    } else {
      piece->lines.Replay();
      if (!piece->error && piece->commit) piece->commit();
    }
    CaptureThreadLog(own);
    lock.lock();
    changed_.notify_all();
    if (piece->error && !piece->abandoned) std::rethrow_exception(piece->error);
  }
}

bool OrderedWorkPool::KeyHeld(const std::string& key) const {
  return std::any_of(order_.begin(), order_.end(),
                     [&](const auto& piece) { return !piece->key.empty() && piece->key == key; });
}

std::size_t OrderedWorkPool::Unwritten() const {
  return static_cast<std::size_t>(std::count_if(
      order_.begin(), order_.end(), [this](const auto& piece) { return piece != own_; }));
}

void OrderedWorkPool::OpenOwnLines() {
  own_ = std::make_shared<Piece>();
  order_.push_back(own_);
  CaptureThreadLog(&own_->lines);
}

void OrderedWorkPool::CloseOwnLines() {
  if (!own_) return;
  own_->done = true;
  own_ = nullptr;
}

void OrderedWorkPool::EndWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    changed_.notify_all();
  }
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
  workers_.clear();
}
