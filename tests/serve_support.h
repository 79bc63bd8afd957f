// The econtract binary serving on a free loopback port, for the tests of `econtract serve`,
// and a raw connection for requests no well-behaved client sends.
#pragma once

#include <httplib.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ectest {

class ServerProcess {
 public:
  // Starts `econtract --config CONFIG serve --listen 127.0.0.1:PORT ARGS...` (PORT 0: any
  // free one) and waits until it listens or exits.
  explicit ServerProcess(const std::string& config, std::vector<std::string> args = {}, int port = 0);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  // Standard error so far.
  std::string errors() const;
  // A client of the server with the key as bearer token (none when empty).
  std::unique_ptr<httplib::Client> client(const std::string& key = {}, bool tls = false) const;
  // Sends sig and waits for the exit status (-1 when the process did not exit normally).
  int stop(int sig);
  // Waits for the process to end by itself (at most seconds); its exit status, -1 otherwise.
  int wait(int seconds);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int port_ = 0;
  int status_ = -1;
  std::string errFile_;
};

// A plain TCP connection to the loopback port.
class RawConnection {
 public:
  explicit RawConnection(int port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  bool send(const std::string& bytes);
  // What arrives until the peer closes, seconds pass or enough bytes came; closed() tells
  // whether the peer closed.
  std::string receive(int seconds, size_t enough = SIZE_MAX);
  bool closed() const { return closed_; }

 private:
  int fd_ = -1;
  bool closed_ = false;
};

}  // namespace ectest
