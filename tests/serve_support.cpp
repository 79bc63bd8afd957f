#include "tests/serve_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/binary_support.h"

namespace ectest {

namespace {

int exitStatus(int st) { return WIFEXITED(st) ? WEXITSTATUS(st) : -1; }

}  // namespace

ServerProcess::ServerProcess(const std::string& config, std::vector<std::string> args, int port) {
  static int counter = 0;
  errFile_ = (std::filesystem::temp_directory_path() /
              ("econtract-serve-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".err"))
                 .string();
  std::vector<std::string> words = {ECONTRACT_BINARY, "--config", config, "serve", "--listen",
                                    "127.0.0.1:" + std::to_string(port)};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
  const int errFd = ::open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(pipeFds[1], 1);
    ::dup2(errFd, 2);
    ::unsetenv("ECONTRACT_CONFIG");
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  ::close(errFd);
  out_ = pipeFds[0];
  // The first line names the port: "econtract: listening on http://127.0.0.1:PORT (...)".
  std::string line;
  pollfd p{out_, POLLIN, 0};
  while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
    char buf[256];
    const ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  const auto colon = line.rfind(':', line.find(" ("));
  if (line.find("listening on") != std::string::npos && colon != std::string::npos)
    port_ = std::atoi(line.c_str() + colon + 1);
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && status_ == -1) stop(SIGKILL);
  if (out_ >= 0) ::close(out_);
  std::error_code ec;
  std::filesystem::remove(errFile_, ec);
}

std::string ServerProcess::errors() const { return slurp(errFile_); }

std::unique_ptr<httplib::Client> ServerProcess::client(const std::string& key, bool tls) const {
  auto c = std::make_unique<httplib::Client>((tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_));
  if (tls) c->enable_server_certificate_verification(false);
  if (!key.empty()) c->set_bearer_token_auth(key);
  c->set_read_timeout(20);
  return c;
}

int ServerProcess::stop(int sig) {
  if (pid_ <= 0) return -1;
  if (status_ == -1) ::kill(pid_, sig);
  return wait(30);
}

int ServerProcess::wait(int seconds) {
  if (pid_ <= 0) return -1;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (status_ == -1) {
    int st = 0;
    const pid_t r = ::waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      status_ = exitStatus(st);
      if (status_ == -1) status_ = -2;  // ended by a signal
      break;
    }
    if (std::chrono::steady_clock::now() > until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status_ == -2 ? -1 : status_;
}

RawConnection::RawConnection(int port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) closed_ = true;
}

RawConnection::~RawConnection() { ::close(fd_); }

bool RawConnection::send(const std::string& bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string RawConnection::receive(int seconds, size_t enough) {
  std::string got;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!closed_ && got.size() < enough) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[4096];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) {
      closed_ = true;
      break;
    }
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

}  // namespace ectest
