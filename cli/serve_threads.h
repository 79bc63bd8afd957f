// The threads and the log of `econtract serve`: connection threads with a cap, call
// threads taken in arrival order, and the access log.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace cli {

// Connection threads, one per connection up to the cap; connections beyond it go to a few
// more threads that answer each request 503 (a connection counts until its thread has
// closed it).
class ConnectionQueue final : public httplib::TaskQueue {
 public:
  static constexpr size_t kRejectThreads = 4;
  explicit ConnectionQueue(size_t cap);
  void enqueue(std::function<void()> fn) override;
  // Runs what is queued (the library closes each connection in it) and joins the threads.
  void shutdown() override;
  // True on a thread that answers the connections beyond the cap.
  static bool onOverflowThread();

 private:
  void work(std::deque<std::function<void()>>& queue, bool overflow);

  const size_t cap_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_, rejects_;
  size_t busy_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Call threads: at most n requests run their calls at once; the others wait their turn in
// the order they came, up to a time-out.
class CallGate {
 public:
  explicit CallGate(size_t n) : free_(n) {}
  bool acquire(std::chrono::seconds timeout);
  // Hands the place to the longest waiting request, if any.
  void release();

 private:
  struct Waiter {
    std::condition_variable cv;
    bool granted = false;
  };
  std::mutex mu_;
  size_t free_;
  std::list<Waiter*> waiting_;
};

// One JSON line per request, appended with one write; the file is never reached through a
// symbolic link. Failure when it cannot be opened.
class AccessLog {
 public:
  explicit AccessLog(const std::string& path);
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;
  void write(const std::string& line);

 private:
  int fd_ = -1;
  std::mutex mu_;
};

}  // namespace cli
