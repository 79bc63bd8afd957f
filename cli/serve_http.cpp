// The HTTP side of `econtract serve`: routes, keys, limits, TLS, the access log lines and
// the orderly stop.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <ostream>
#include <thread>

#include "cli/api_settings.h"
#include "cli/command_module.h"
#include "cli/dispatch.h"
#include "cli/rpc.h"
#include "cli/serve.h"
#include "cli/serve_threads.h"
#include "platform/error.h"
#include "suite/configuration.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kJson = "application/json";

// What the access log needs to know of the request a connection thread is answering.
struct RequestTrace {
  Clock::time_point start = Clock::now();
  std::string key;
  std::vector<std::string> methods;
};
thread_local RequestTrace t_trace;

// The library listens with a backlog of 5, too few for a burst of clients: the rest would
// wait for their SYN to be sent again. Listening again on the bound socket widens it.
template <class Base>
class Listener final : public Base {
 public:
  using Base::Base;
  void widenBacklog(int n) { ::listen(this->svr_sock_, n); }
};

std::string utcNow() {
  const auto now = std::chrono::system_clock::now();
  const time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  struct tm tm {};
  gmtime_r(&t, &tm);
  char buf[32];
  const size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  char frac[8];
  std::snprintf(frac, sizeof frac, ".%03dZ", static_cast<int>(ms));
  return std::string(buf, n) + frac;
}

std::string accessLine(const httplib::Request& req, const httplib::Response& res) {
  Json j = Json::object();
  j["time"] = utcNow();
  j["remote"] = req.remote_addr;
  j["request"] = req.method + " " + req.path;
  if (t_trace.methods.size() == 1) j["method"] = t_trace.methods.front();
  else if (t_trace.methods.empty()) j["method"] = nullptr;
  else j["method"] = t_trace.methods;
  j["key"] = t_trace.key.empty() ? Json(nullptr) : Json(t_trace.key);
  j["status"] = res.status;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t_trace.start).count();
  j["ms"] = std::round(ms * 1000) / 1000;
  return dumpJson(j) + "\n";
}

// The keys of the configuration in force, parsed again only when the file changed.
class KeyRing {
 public:
  std::shared_ptr<const std::vector<ApiKey>> current() {
    auto cfg = suite::currentConfiguration();
    std::lock_guard<std::mutex> lock(mu_);
    if (cfg != cfg_) {
      keys_ = std::make_shared<const std::vector<ApiKey>>(readApiSettings(cfg->api.get(), cfg->file).keys);
      cfg_ = std::move(cfg);
    }
    return keys_;
  }

 private:
  std::mutex mu_;
  std::shared_ptr<const suite::ConfigurationData> cfg_;
  std::shared_ptr<const std::vector<ApiKey>> keys_;
};

std::string bearerToken(const httplib::Request& req) {
  const std::string h = req.get_header_value("Authorization");
  if (h.size() < 7 || strncasecmp(h.c_str(), "Bearer ", 7) != 0) return {};
  const auto b = h.find_first_not_of(' ', 7);
  if (b == std::string::npos) return {};
  return h.substr(b, h.find_last_not_of(' ') - b + 1);
}

void answer(httplib::Response& res, int status, const std::string& body) {
  res.status = status;
  res.set_content(body, kJson);
}

// The key of the request; none after the answer was set (401, or 503 when the
// configuration cannot be read).
std::optional<ApiKey> authenticate(KeyRing& ring, const httplib::Request& req, httplib::Response& res) {
  std::shared_ptr<const std::vector<ApiKey>> keys;
  try {
    keys = ring.current();
  } catch (...) {
    const ec::ComError e = ec::toComError(std::current_exception());
    answer(res, 503, rpcError(nullptr, rpc_codes::kBusy, "the configuration cannot be read: " + e.description()));
    return std::nullopt;
  }
  const std::string token = bearerToken(req);
  const ApiKey* key = findKey(*keys, token);
  if (!key) {
    res.set_header("WWW-Authenticate", "Bearer");
    answer(res, 401,
           rpcError(nullptr, rpc_codes::kUnauthorized,
                    token.empty() ? "Unauthorized: send the API key as \"Authorization: Bearer KEY\""
                                  : "Unauthorized: the API key is not known"));
    return std::nullopt;
  }
  t_trace.key = key->name;
  return *key;
}

const char* statusReason(int status) {
  switch (status) {
    case 400: return "bad request";
    case 404: return "not found: the service answers POST /rpc, GET /health and GET /classes";
    case 405: return "method not allowed";
    case 408: return "request time-out";
    case 413: return "the request body is larger than the limit";
    case 414: return "the request target is longer than the limit";
    default: return status >= 500 ? "server error" : "request refused";
  }
}

struct Service {
  ApiSettings settings;
  KeyRing keys;
  std::unique_ptr<AccessLog> log;
  std::unique_ptr<CallGate> callSlots;
};

void routes(httplib::Server& svr, Service& svc) {
  const ApiLimits& limits = svc.settings.limits;
  svr.set_pre_routing_handler([&svc](const httplib::Request&, httplib::Response& res) {
    t_trace = RequestTrace{};
    if (!ConnectionQueue::onOverflowThread()) return httplib::Server::HandlerResponse::Unhandled;
    res.set_header("Retry-After", "1");
    res.set_header("Connection", "close");
    answer(res, 503,
           rpcError(nullptr, rpc_codes::kBusy,
                    "the server is busy: " + std::to_string(svc.settings.limits.maxConnections) +
                        " connections are open; try again shortly"));
    return httplib::Server::HandlerResponse::Handled;
  });
  svr.Get("/health", [](const httplib::Request&, httplib::Response& res) {
    bool ok = false;
    const Json h = databaseHealth(ok);
    answer(res, ok ? 200 : 503, dumpJson(h));
  });
  svr.Get("/classes", [&svc](const httplib::Request& req, httplib::Response& res) {
    if (authenticate(svc.keys, req, res)) answer(res, 200, dumpJson(classesJson()));
  });
  svr.Post("/rpc", [&svc, &limits](const httplib::Request& req, httplib::Response& res) {
    const std::optional<ApiKey> key = authenticate(svc.keys, req, res);
    if (!key) return;
    if (!svc.callSlots->acquire(std::chrono::seconds(limits.queueTimeoutSeconds))) {
      res.set_header("Retry-After", "1");
      answer(res, 503,
             rpcError(nullptr, rpc_codes::kBusy,
                      "the server is busy: no call thread was free for " + std::to_string(limits.queueTimeoutSeconds) +
                          " seconds; nothing was run"));
      return;
    }
    RpcReply reply;
    try {
      reply = handleRpc(req.body, limits, [&key](const std::string& m) { return keyAllows(*key, m); });
    } catch (...) {
      svc.callSlots->release();
      throw;
    }
    svc.callSlots->release();
    t_trace.methods = std::move(reply.methods);
    if (reply.body.empty()) {
      res.status = 204;
      return;
    }
    answer(res, reply.status, reply.body);
  });
  svr.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(dumpJson(Json{{"error", statusReason(res.status)}}), kJson);
        return httplib::Server::HandlerResponse::Handled;
      }));
  svr.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
    const ec::ComError e = ec::toComError(ep);
    answer(res, 500, dumpJson(Json{{"error", "server error: " + e.description()}}));
  });
  svr.set_logger([&svc](const httplib::Request& req, const httplib::Response& res) {
    svc.log->write(accessLine(req, res));
    t_trace = RequestTrace{};
  });
  svr.set_socket_options([](socket_t sock) {
    // Not SO_REUSEPORT: a second server on a port in use must fail to start.
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  svr.set_read_timeout(limits.readTimeoutSeconds);
  svr.set_write_timeout(limits.writeTimeoutSeconds);
  svr.set_keep_alive_timeout(limits.keepAliveSeconds);
  svr.set_keep_alive_max_count(1000);
  svr.set_payload_max_length(limits.maxBodyBytes);
  svr.set_tcp_nodelay(true);
  const size_t cap = limits.maxConnections;
  svr.new_task_queue = [cap] { return new ConnectionQueue(cap); };
}

}  // namespace

int serve(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  registerAll();
  std::shared_ptr<const suite::ConfigurationData> cfg;
  try {
    cfg = suite::currentConfiguration();
  } catch (const ec::ComError& e) {
    throw Failure("the configuration is unusable: " + e.description());
  }
  Service svc;
  svc.settings = readApiSettings(cfg->api.get(), cfg->file);
  ApiSettings& s = svc.settings;
  if (!options.listen.empty()) s.listen = options.listen;
  if (options.threads > 0) s.threads = options.threads;
  if (s.threads <= 0) s.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const ListenAddress addr = parseListenAddress(s.listen);

  bool healthy = false;
  const Json health = databaseHealth(healthy);
  if (!healthy) throw Failure("the databases cannot be reached, nothing was started: " + dumpJson(health));
  if (s.keys.empty())
    err << "econtract: warning: " << cfg->file
        << " holds no API keys, so every call is refused; create one with: econtract apikey create NAME --allow "
           "PATTERN\n";
  svc.log = std::make_unique<AccessLog>(s.accessLog);
  svc.callSlots = std::make_unique<CallGate>(static_cast<size_t>(s.threads));

  std::unique_ptr<httplib::Server> server;
  std::function<void(int)> widen;
  const bool tls = !s.tlsCertificate.empty();
  if (tls) {
    auto l = std::make_unique<Listener<httplib::SSLServer>>(s.tlsCertificate.c_str(), s.tlsKey.c_str());
    if (!l->is_valid())
      throw Failure("the TLS certificate " + s.tlsCertificate + " or its key " + s.tlsKey + " cannot be used");
    widen = [p = l.get()](int n) { p->widenBacklog(n); };
    server = std::move(l);
  } else {
    auto l = std::make_unique<Listener<httplib::Server>>();
    widen = [p = l.get()](int n) { p->widenBacklog(n); };
    server = std::move(l);
  }
  routes(*server, svc);

  // SIGINT and SIGTERM are taken by one thread (every thread made from here on has them
  // blocked); a peer that closes early must not end the process with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);

  int port = addr.port;
  const bool bound = port == 0 ? (port = server->bind_to_any_port(addr.host)) > 0 : server->bind_to_port(addr.host, port);
  if (!bound) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    throw Failure("cannot listen on " + s.listen + ": the port is in use or the address is not available");
  }
  widen(static_cast<int>(std::max<size_t>(128, s.limits.maxConnections)));

  std::atomic<bool> listening{true}, stopRequested{false};
  std::thread signals([&] {
    int sig = 0;
    sigwait(&stopSignals, &sig);
    if (!listening) return;
    stopRequested = true;
    // stop() does nothing until the server runs: ask again until it has stopped.
    while (listening) {
      server->stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  out << "econtract: listening on " << (tls ? "https" : "http") << "://"
      << (addr.host.find(':') != std::string::npos ? "[" + addr.host + "]" : addr.host) << ":" << port << " ("
      << s.threads << " call threads, up to " << s.limits.maxConnections << " connections)" << std::endl;

  const bool clean = server->listen_after_bind();
  listening = false;
  if (!stopRequested) pthread_kill(signals.native_handle(), SIGTERM);
  signals.join();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!stopRequested && !clean) throw Failure("the server stopped accepting connections");
  err << "econtract: stopped; the calls in flight were finished\n";
  return kExitOk;
}

}  // namespace cli
