#include "web/monitor_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "app/message_sink.h"
#include "web/page_files.h"

namespace vx {

namespace {

using httplib::Request;
using httplib::Response;
using Clock_ = std::chrono::steady_clock;

// Answers that are computed for each snapshot are never compressed per request: the exact
// "application/json" would be, with a client that accepts gzip.
constexpr const char* kJsonType = "application/json; charset=utf-8";

// The connection being served on this thread: past the cap, its request is answered 503.
thread_local bool t_over_cap = false;

std::string peer_text(int sock) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "?";
  char text[INET6_ADDRSTRLEN] = "?";
  if (addr.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&addr)->sin_addr, text, sizeof text);
  else if (addr.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr, text, sizeof text);
  return text;
}

int port_of(int sock, bool peer) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  const int rc = peer ? getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &len)
                      : getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
  if (rc != 0) return 0;
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return 0;
}

// A connection's socket, read through a buffer, every wait bounded by the deadline of the
// request under way and by the server's stop.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(int sock, const std::atomic<bool>& stopping)
      : sock_(sock), stopping_(stopping) {}

  void set_deadline(Clock_::time_point deadline) { deadline_ = deadline; }
  // Waits for the next request's first byte until the deadline; false when none came.
  bool wait_for_request() { return pos_ < end_ || wait(POLLIN); }

  bool is_readable() const override {
    return pos_ < end_ || const_cast<ConnectionStream*>(this)->wait(POLLIN);
  }
  bool is_writable() const override { return const_cast<ConnectionStream*>(this)->wait(POLLOUT); }
  ssize_t read(char* ptr, size_t size) override {
    if (pos_ == end_) {
      if (!wait(POLLIN)) return -1;
      const ssize_t n = ::recv(sock_, buffer_.data(), buffer_.size(), 0);
      if (n <= 0) return n;
      pos_ = 0;
      end_ = static_cast<std::size_t>(n);
    }
    const std::size_t n = std::min(size, end_ - pos_);
    std::memcpy(ptr, buffer_.data() + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    std::size_t sent = 0;
    while (sent < size) {
      if (!wait(POLLOUT)) return -1;
      const ssize_t n = ::send(sock_, ptr + sent, size - sent, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return -1;
      }
      sent += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = peer_text(sock_);
    port = port_of(sock_, true);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip.clear();
    port = port_of(sock_, false);
  }
  socket_t socket() const override { return sock_; }

 private:
  // Polls in slices, so that a stop is seen within one.
  bool wait(short events) {
    constexpr auto kSlice = std::chrono::milliseconds(100);
    while (!stopping_.load()) {
      const auto left = deadline_ - Clock_::now();
      if (left <= Clock_::duration::zero()) return false;
      pollfd p{sock_, events, 0};
      const auto slice = std::min<Clock_::duration>(left, kSlice);
      const int rc = ::poll(
          &p, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count()));
      if (rc > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0;
      if (rc < 0 && errno != EINTR) return false;
    }
    return false;
  }

  int sock_;
  const std::atomic<bool>& stopping_;
  Clock_::time_point deadline_ = Clock_::now();
  std::array<char, 4096> buffer_{};
  std::size_t pos_ = 0, end_ = 0;
};

// A connection held in memory: reads the bytes given, keeps what is written.
class MemoryStream : public httplib::Stream {
 public:
  explicit MemoryStream(const std::string& in) : in_(in) {}
  bool is_readable() const override { return pos_ < in_.size(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const std::size_t n = std::min(size, in_.size() - pos_);
    std::memcpy(ptr, in_.data() + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    out.append(ptr, size);
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 40000;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 8080;
  }
  socket_t socket() const override { return INVALID_SOCKET; }
  std::string out;

 private:
  const std::string& in_;
  std::size_t pos_ = 0;
};

Clock_::time_point after(double seconds) {
  return Clock_::now() +
         std::chrono::duration_cast<Clock_::duration>(std::chrono::duration<double>(seconds));
}

// The value of cookie name in the request's Cookie headers, empty when absent.
std::string cookie(const Request& req, const std::string& name) {
  const std::size_t count = req.get_header_value_count("Cookie");
  for (std::size_t i = 0; i < count; ++i) {
    const std::string header = req.get_header_value("Cookie", i);
    std::size_t at = 0;
    while (at < header.size()) {
      const std::size_t end = std::min(header.find(';', at), header.size());
      std::string pair = header.substr(at, end - at);
      pair.erase(0, pair.find_first_not_of(' '));
      if (pair.size() > name.size() && pair.compare(0, name.size(), name) == 0 &&
          pair[name.size()] == '=')
        return pair.substr(name.size() + 1);
      at = end + 1;
    }
  }
  return {};
}

// Compares in a time that does not depend on where the texts first differ.
bool same_secret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

void plain(Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

}  // namespace

MonitorServer::MonitorServer(std::shared_ptr<MonitorFeed> feed, MessageLog& log, Clock& clock,
                             std::string token, MonitorLimits limits)
    : feed_(std::move(feed)), log_(log), clock_(clock), token_(std::move(token)), limits_(limits) {
  // Each connection holds a worker while it lasts: one for each allowed, and a few to
  // answer those past the cap.
  const std::size_t workers = static_cast<std::size_t>(std::max(limits_.max_clients, 1)) + 4;
  new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  set_payload_max_length(limits_.max_body_bytes);
  set_default_headers({{"X-Content-Type-Options", "nosniff"},
                       {"X-Frame-Options", "DENY"},
                       {"Referrer-Policy", "no-referrer"},
                       {"Content-Security-Policy",
                        "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'"}});
  set_pre_routing_handler([this](const Request& req, Response& res) { return check(req, res); });
  add_routes();
}

MonitorServer::~MonitorServer() {
  stop_serving();
}

bool MonitorServer::start(const std::string& address, int port, std::string& error) {
  if (port == 0) {
    port_ = bind_to_any_port(address);
    if (port_ < 0) port_ = 0;
  } else if (bind_to_port(address, port)) {
    port_ = port;
  }
  if (port_ == 0) {
    error = "cannot listen on " + address + ":" + std::to_string(port) +
            " (the address is not this machine's, or the port is taken)";
    return false;
  }
  // The library listens with a backlog of 5: a burst of connections on a loaded machine would
  // then wait a second each for the client to try again. Listening again sets a deeper one.
  ::listen(svr_sock_.load(), 128);
  thread_ = std::thread([this] { listen_after_bind(); });
  return true;
}

void MonitorServer::stop_serving() {
  stopping_ = true;
  if (is_running()) stop();
  if (thread_.joinable()) thread_.join();
}

bool MonitorServer::process_and_close_socket(socket_t sock) {
  const bool over_cap = connections_.fetch_add(1) >= limits_.max_clients;
  // The headers and the body go in two writes: without this, a kept-alive connection's body
  // would wait for the client's acknowledgement of the headers (some 40 ms).
  const int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ConnectionStream strm(sock, stopping_);
  t_over_cap = over_cap;
  strm.set_deadline(after(over_cap ? limits_.refused_request_timeout_s : limits_.idle_timeout_s));
  bool closed = false;
  while (!closed && !stopping_.load() && strm.wait_for_request()) {
    strm.set_deadline(
        after(over_cap ? limits_.refused_request_timeout_s : limits_.request_timeout_s));
    if (!process_request(strm, over_cap, closed, [](Request&) {})) break;
    if (over_cap) break;
    strm.set_deadline(after(limits_.idle_timeout_s));
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  connections_.fetch_sub(1);
  return true;
}

std::string MonitorServer::answer_bytes(const std::string& request) {
  MemoryStream strm(request);
  bool closed = false;
  t_over_cap = false;
  process_request(strm, true, closed, [](Request&) {});
  return strm.out;
}

httplib::Server::HandlerResponse MonitorServer::check(const Request& req, Response& res) {
  using R = httplib::Server::HandlerResponse;
  if (t_over_cap) {
    res.set_header("Retry-After", "5");
    plain(res, 503, "Too many viewers: try again later.");
    return R::Handled;
  }
  std::size_t header_bytes = 0;
  for (const auto& [name, value] : req.headers) header_bytes += name.size() + value.size() + 4;
  if (req.headers.size() > static_cast<std::size_t>(limits_.max_header_lines) ||
      header_bytes > limits_.max_header_bytes) {
    plain(res, 431, "Request headers too large.");
    return R::Handled;
  }
  if (req.has_header("Transfer-Encoding") ||
      req.get_header_value<std::uint64_t>("Content-Length") > limits_.max_body_bytes) {
    plain(res, 413, "Request body too large.");
    return R::Handled;
  }
  if (req.method != "GET" && req.method != "HEAD") {
    res.set_header("Allow", "GET, HEAD");
    plain(res, 405, "This monitor only shows: GET and HEAD.");
    return R::Handled;
  }
  if (token_.empty()) return R::Unhandled;
  // The page opened once with its token: the cookie keeps it, and the address bar loses it.
  if (req.path == "/" && req.has_param("token") &&
      same_secret(req.get_param_value("token"), token_)) {
    res.set_header("Set-Cookie", "veltrix_token=" + token_ + "; Path=/; HttpOnly; SameSite=Strict");
    res.set_header("Cache-Control", "no-store");
    res.set_redirect("/", 303);
    return R::Handled;
  }
  if (token_matches(req)) return R::Unhandled;
  tell_refused(req.remote_addr);
  res.set_header("WWW-Authenticate", "Bearer realm=\"veltrix\"");
  if (req.path.rfind("/api/", 0) == 0) {
    plain(res, 401, "A token is needed: send Authorization: Bearer TOKEN.");
  } else {
    // A browser without the token is told how to give it.
    res.status = 401;
    res.set_content(
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Veltrix web monitor</title>"
        "</head><body style=\"font-family:sans-serif;margin:3em\"><h1>A token is needed</h1>"
        "<p>This monitor serves only the browsers that give its token. Open "
        "<code>/?token=TOKEN</code> once, with the token from the file given to "
        "<code>--web-token-file</code>: the browser keeps it.</p></body></html>\n",
        "text/html; charset=utf-8");
  }
  return R::Handled;
}

bool MonitorServer::token_matches(const Request& req) const {
  const std::string auth = req.get_header_value("Authorization");
  const std::string bearer = "Bearer ";
  if (auth.size() > bearer.size() && auth.compare(0, bearer.size(), bearer) == 0 &&
      same_secret(auth.substr(bearer.size()), token_))
    return true;
  return same_secret(cookie(req, "veltrix_token"), token_);
}

void MonitorServer::tell_refused(const std::string& peer) {
  const double now = clock_.now();
  {
    std::lock_guard lock(refused_mutex_);
    // Forget the peers told more than a minute ago, so that the map stays small.
    if (refused_told_.size() > 1024)
      std::erase_if(refused_told_, [&](const auto& e) { return now - e.second >= 60.0; });
    const auto it = refused_told_.find(peer);
    if (it != refused_told_.end() && now - it->second < 60.0) return;
    refused_told_[peer] = now;
  }
  log_.write("Web monitor: refused a request from " + peer +
                 " without the right token (told at most once a minute per address).\n",
             kWarningNoPopup);
}

void MonitorServer::add_routes() {
  struct Api {
    const char* path;
    MonitorAnswer answer;
  };
  static constexpr Api kApis[] = {{"/api/status", MonitorAnswer::Status},
                                  {"/api/board", MonitorAnswer::Board},
                                  {"/api/event", MonitorAnswer::Event},
                                  {"/api/rates", MonitorAnswer::Rates},
                                  {"/api/histograms", MonitorAnswer::Histograms}};
  for (const Api& api : kApis) {
    const MonitorAnswer which = api.answer;
    Get(api.path, [this, which](const Request&, Response& res) {
      const std::shared_ptr<const std::string> text = feed_->answer(which);
      res.set_header("Cache-Control", "no-store");
      res.set_content(*text, kJsonType);
    });
  }
  Get("/api/messages", [this](const Request& req, Response& res) {
    std::uint64_t since = 0;
    if (req.has_param("since")) {
      const std::string text = req.get_param_value("since");
      char* end = nullptr;
      since = std::strtoull(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0') {
        plain(res, 400, "since: a message number.");
        return;
      }
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(feed_->messages(log_, since), kJsonType);
  });
  // The page and its scripts, compiled in: nothing is read from the file system.
  Get(".*", [](const Request& req, Response& res) {
    const std::string path = req.path == "/" ? "/index.html" : req.path;
    for (const PageFile& f : page_files()) {
      if (path != f.path) continue;
      res.set_header("Cache-Control", "no-cache");
      res.set_content(f.body.data(), f.body.size(), std::string(f.type));
      return;
    }
    plain(res, 404, "Not found.");
  });
}

}  // namespace vx
