#include "cli/serve_threads.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/command_module.h"

namespace cli {

namespace {
thread_local bool t_overflow = false;
}  // namespace

ConnectionQueue::ConnectionQueue(size_t cap) : cap_(cap) {
  for (size_t i = 0; i < cap; ++i) threads_.emplace_back([this] { work(jobs_, false); });
  for (size_t i = 0; i < kRejectThreads; ++i) threads_.emplace_back([this] { work(rejects_, true); });
}

void ConnectionQueue::enqueue(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (busy_ < cap_) {
      ++busy_;
      jobs_.push_back(std::move(fn));
    } else {
      rejects_.push_back(std::move(fn));
    }
  }
  cv_.notify_all();
}

void ConnectionQueue::shutdown() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
  }
  cv_.notify_all();
  for (auto& t : threads_) t.join();
}

bool ConnectionQueue::onOverflowThread() { return t_overflow; }

void ConnectionQueue::work(std::deque<std::function<void()>>& queue, bool overflow) {
  t_overflow = overflow;
  for (;;) {
    std::function<void()> fn;
    {
      std::unique_lock<std::mutex> lock(mu_);
      cv_.wait(lock, [&] { return !queue.empty() || stopping_; });
      if (queue.empty()) return;
      fn = std::move(queue.front());
      queue.pop_front();
    }
    fn();
    if (!overflow) {
      std::lock_guard<std::mutex> lock(mu_);
      --busy_;
    }
  }
}

bool CallGate::acquire(std::chrono::seconds timeout) {
  std::unique_lock<std::mutex> lock(mu_);
  if (free_ > 0 && waiting_.empty()) {
    --free_;
    return true;
  }
  Waiter w;
  const auto it = waiting_.insert(waiting_.end(), &w);
  if (w.cv.wait_for(lock, timeout, [&w] { return w.granted; })) return true;
  waiting_.erase(it);  // not granted, so still waiting
  return false;
}

void CallGate::release() {
  std::lock_guard<std::mutex> lock(mu_);
  if (waiting_.empty()) {
    ++free_;
    return;
  }
  Waiter* w = waiting_.front();
  waiting_.pop_front();
  w->granted = true;
  w->cv.notify_one();
}

AccessLog::AccessLog(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
  if (fd_ < 0) throw Failure("cannot open the access log " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw Failure("the access log " + path + " is not a regular file");
  }
}

AccessLog::~AccessLog() { ::close(fd_); }

void AccessLog::write(const std::string& line) {
  std::lock_guard<std::mutex> lock(mu_);
  for (size_t done = 0; done < line.size();) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a full disk loses log lines, not requests
    done += static_cast<size_t>(n);
  }
}

}  // namespace cli
