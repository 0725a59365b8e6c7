// A fixed number of worker threads that do pieces of work (one instrument each) at once,
// while everything the run logs stays in the order in which one thread alone would log it:
// each piece's lines are held back (LogCapture) and written, followed by its commit step,
// when every piece handed in before it is written. Lines that the handing-in thread logs
// between two pieces are held back in the same way and keep their place.
//
// With one thread nothing is held back: each piece is done and committed at once on the
// handing-in thread, as if there were no pool. Submit, Stop and Finish are called from
// the one thread that made the pool; the work runs on the workers; commit steps run on
// the thread that made the pool.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/log_capture.h"

class OrderedWorkPool {
 public:
  // threads below 1 count as 1.
  explicit OrderedWorkPool(int threads);
  OrderedWorkPool(const OrderedWorkPool&) = delete;
  OrderedWorkPool& operator=(const OrderedWorkPool&) = delete;
  // Finishes without passing on a piece's exception (Finish has not been called when an
  // exception leaves the handing-in thread's loop).
  ~OrderedWorkPool();

  // Hands in one piece: work runs on a worker, commit afterwards on this thread. Pieces
  // with the same key (the file they write) never run at once: a piece whose key is held
  // by an unwritten one waits until everything before it is written. At most twice as many
  // pieces as threads wait to be written; Submit waits while there are more.
  // discard (when given) runs instead of commit for a piece that Abandon leaves unwritten.
  void Submit(const std::string& key, std::function<void()> work, std::function<void()> commit,
              std::function<void()> discard = {});

  // No piece handed in from now on, nor any that has not started, is done; those that have
  // started still end and are written. For a commit step that ends the run.
  void Stop();
  // As if the run ended right after the piece being written: nothing more is done, and no
  // line handed in after it is written (those of pieces that ran included: their discard
  // steps run instead of their commit steps once they have ended). For a commit step whose
  // failure ends the run; the lines it logs itself are still written.
  void Abandon();
  bool Stopped() const { return stopped_; }

  // Waits for every piece, writes what is left in order and ends the workers. A piece
  // that threw: its lines are written, then its exception is thrown here, and the pieces
  // after it that had not started are not done.
  void Finish();

  // Worker count for a setting: the number of cores when value is 0 or below.
  static int DefaultThreads();

 private:
  struct Piece {
    std::string key;  // empty for lines of the handing-in thread
    std::function<void()> work;
    std::function<void()> commit;
    std::function<void()> discard;
    LogCapture lines;
    bool abandoned = false;
    bool started = false;
    bool done = false;
    std::exception_ptr error;
  };

  void Worker();
  std::shared_ptr<Piece> NextToRun();
  // Writes the pieces at the front that are done (lock held on entry and exit).
  void WriteDone(std::unique_lock<std::mutex>& lock);
  // Waits for every piece in order_ and writes it; the handing-in thread's lines go
  // straight to the logs again.
  void Drain();
  bool KeyHeld(const std::string& key) const;
  std::size_t Unwritten() const;
  void OpenOwnLines();
  void CloseOwnLines();
  void EndWorkers();

  const int threads_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Piece>> order_;    // every unwritten piece, in handing-in order
  std::deque<std::shared_ptr<Piece>> waiting_;  // pieces no worker has taken yet
  std::shared_ptr<Piece> own_;                  // lines of the handing-in thread being kept
  LogCapture* previousCapture_ = nullptr;
  std::exception_ptr error_;
  bool stopped_ = false;
  bool ending_ = false;
  bool finished_ = false;
};
