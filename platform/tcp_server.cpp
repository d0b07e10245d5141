#include "platform/tcp_server.h"

#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>

// Asio orders its handler memory with fences, which GCC flags under ThreadSanitizer; its
// scheduler's mutex is what ThreadSanitizer follows.
#if defined(__GNUC__) && !defined(__clang__) && defined(__SANITIZE_THREAD__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif
#include <asio.hpp>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <limits>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace vx {

namespace {

using asio::ip::tcp;

// Reading from a socket pauses while this much is waiting to be taken, so that a client
// that floods the server cannot make it grow without bound.
constexpr std::size_t kInboxLimit = 64 * 1024;

}  // namespace

std::string tcp_error_string(int code) {
  switch (code) {
    case kTcpNotConnected:
      return "The conversation is not connected";
    case kTcpTimeout:
      return "Timeout";
    case kTcpListenFailed:
      return "Unable to register the service";
    case kTcpWriteFailed:
      return "Write failed";
    case kTcpWriteBusy:
      return "A previous write to the conversation has not completed";
    case kTcpLookupFailed:
      return "Unable to get the host information";
    case kTcpPeerClosed:
      return "The peer closed the conversation";
    default:
      return code >= 0 ? "No error" : "Unknown error";
  }
}

int tcp_host_name(std::string& name, std::string& system_error) {
  std::error_code ec;
  name = asio::ip::host_name(ec);
  if (ec || name.empty()) {
    system_error = ec ? ec.message() : "empty host name";
    return kTcpLookupFailed;
  }
  return 0;
}

// The first IPv4 address of an interface that is up and not the loopback one; the
// loopback address when there is none. Read from the interfaces, never from a resolver.
int tcp_host_address(std::string& address, std::string& system_error) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    system_error = std::strerror(errno);
    return kTcpLookupFailed;
  }
  std::string loopback;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    sockaddr_in in{};
    std::memcpy(&in, a->ifa_addr, sizeof in);
    const auto v4 = asio::ip::address_v4(ntohl(in.sin_addr.s_addr));
    if (v4.is_loopback()) {
      loopback = v4.to_string();
      continue;
    }
    address = v4.to_string();
    freeifaddrs(list);
    return 0;
  }
  freeifaddrs(list);
  if (loopback.empty()) {
    system_error = "no IPv4 interface";
    return kTcpLookupFailed;
  }
  address = loopback;
  return 0;
}

// What the user-interface thread and the I/O thread share, under the mutex.
struct TcpServer::Shared : std::enable_shared_from_this<TcpServer::Shared> {
  struct Conversation {
    std::string inbox;
    std::string peer;
    bool peer_closed = false;
    bool ready_posted = false;
    bool paused = false;
  };

  Post post;
  Handler handler;
  std::function<void(int)> resume_reading;  // set once before the I/O thread starts
  mutable std::mutex mutex;
  std::condition_variable data_arrived;
  std::map<int, Conversation> conversations;
  std::string system_error;
  bool closed = false;

  void post_event(int id, TcpEvent event) {
    post([weak = weak_from_this(), id, event] {
      if (auto self = weak.lock()) self->dispatch(id, event);
    });
  }

  bool is_closed() {
    std::lock_guard lock(mutex);
    return closed;
  }

  std::size_t waiting(int id) {
    std::lock_guard lock(mutex);
    const auto it = conversations.find(id);
    return it == conversations.end() ? 0 : it->second.inbox.size();
  }

  // User-interface thread.
  void dispatch(int id, TcpEvent event) {
    if (is_closed()) return;
    switch (event) {
      case TcpEvent::Connect:
        if (known(id)) handler(id, TcpEvent::Connect);
        return;
      case TcpEvent::DataReady:
        deliver_data(id);
        return;
      case TcpEvent::Disconnect:
        // What the client sent just before closing is still served.
        for (std::size_t left = waiting(id); left > 0 && !is_closed();) {
          deliver_data(id);
          const std::size_t now = waiting(id);
          if (now >= left) break;
          left = now;
        }
        {
          std::lock_guard lock(mutex);
          if (closed || conversations.erase(id) == 0) return;
        }
        handler(id, TcpEvent::Disconnect);
        return;
    }
  }

  bool known(int id) {
    std::lock_guard lock(mutex);
    return conversations.count(id) != 0;
  }

  void deliver_data(int id) {
    {
      std::lock_guard lock(mutex);
      const auto it = conversations.find(id);
      if (it == conversations.end()) return;
      it->second.ready_posted = false;
      // Taken already by the read of an earlier event.
      if (it->second.inbox.empty()) return;
    }
    handler(id, TcpEvent::DataReady);
    // Data left over after the handler's read makes another event, as a new arrival would.
    bool again = false;
    {
      std::lock_guard lock(mutex);
      const auto it = conversations.find(id);
      if (closed || it == conversations.end()) return;
      if (!it->second.inbox.empty() && !it->second.ready_posted && !it->second.peer_closed) {
        it->second.ready_posted = true;
        again = true;
      }
    }
    if (again) post_event(id, TcpEvent::DataReady);
  }
};

// Sockets and the I/O thread. Sockets are touched on the I/O thread only.
struct TcpServer::Io {
  struct Socket {
    explicit Socket(tcp::socket s) : socket(std::move(s)) {}
    tcp::socket socket;
    std::array<char, 4096> buffer{};
    // Writes go out one after the other, in the order they were asked for.
    struct Pending {
      std::shared_ptr<std::string> bytes;
      std::shared_ptr<std::promise<int>> done;  // none for a queued send
    };
    std::deque<Pending> outgoing;
    std::size_t pending_bytes = 0;
  };

  explicit Io(std::shared_ptr<Shared> shared) : shared(std::move(shared)) {}

  std::shared_ptr<Shared> shared;
  asio::io_context context;
  asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(context);
  tcp::acceptor acceptor{context};
  asio::steady_timer retry{context};
  std::map<int, std::shared_ptr<Socket>> sockets;
  int next_id = 1;
  int bound_port = 0;
  std::thread thread;

  void note_error(const std::error_code& ec) {
    std::lock_guard lock(shared->mutex);
    shared->system_error = ec.message();
  }

  void accept() {
    acceptor.async_accept([this](std::error_code ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted || !acceptor.is_open()) return;
      if (ec) {
        // Out of descriptors and the like: try again a little later rather than spin.
        note_error(ec);
        retry.expires_after(std::chrono::milliseconds(100));
        retry.async_wait([this](std::error_code e) {
          if (!e) accept();
        });
        return;
      }
      accepted(std::move(socket));
      accept();
    });
  }

  void accepted(tcp::socket socket) {
    const int id = next_id;
    next_id = next_id == std::numeric_limits<int>::max() ? 1 : next_id + 1;
    std::error_code ec;
    const auto remote = socket.remote_endpoint(ec);
    Shared::Conversation c;
    if (!ec) c.peer = remote.address().to_string();
    socket.set_option(tcp::no_delay(true), ec);
    auto s = std::make_shared<Socket>(std::move(socket));
    sockets[id] = s;
    {
      std::lock_guard lock(shared->mutex);
      shared->conversations[id] = std::move(c);
    }
    shared->post_event(id, TcpEvent::Connect);
    read(id, s);
  }

  void read(int id, const std::shared_ptr<Socket>& s) {
    s->socket.async_read_some(asio::buffer(s->buffer),
                              [this, id, s](std::error_code ec, std::size_t n) {
                                if (ec == asio::error::operation_aborted) return;
                                bool post_ready = false;
                                bool pause = false;
                                {
                                  std::lock_guard lock(shared->mutex);
                                  const auto it = shared->conversations.find(id);
                                  if (it == shared->conversations.end())
                                    return;  // closed from this side meanwhile
                                  auto& c = it->second;
                                  if (n > 0) {
                                    c.inbox.append(s->buffer.data(), n);
                                    post_ready = !c.ready_posted;
                                    c.ready_posted = true;
                                    pause = c.inbox.size() >= kInboxLimit;
                                    c.paused = pause;
                                  }
                                  if (ec) {
                                    c.peer_closed = true;
                                    if (ec != asio::error::eof) shared->system_error = ec.message();
                                  }
                                }
                                shared->data_arrived.notify_all();
                                if (post_ready) shared->post_event(id, TcpEvent::DataReady);
                                if (ec) {
                                  std::error_code ignored;
                                  s->socket.close(ignored);
                                  sockets.erase(id);
                                  shared->post_event(id, TcpEvent::Disconnect);
                                  return;
                                }
                                if (!pause) read(id, s);
                              });
  }

  void resume(int id) {
    const auto it = sockets.find(id);
    if (it != sockets.end()) read(id, it->second);
  }

  void enqueue(const std::shared_ptr<Socket>& s, Socket::Pending p) {
    s->pending_bytes += p.bytes->size();
    s->outgoing.push_back(std::move(p));
    if (s->outgoing.size() == 1) write_next(s);
  }

  void write_next(const std::shared_ptr<Socket>& s) {
    if (s->outgoing.empty()) return;
    auto bytes = s->outgoing.front().bytes;
    asio::async_write(s->socket, asio::buffer(*bytes),
                      [this, s, bytes](std::error_code ec, std::size_t n) {
                        if (ec) note_error(ec);
                        Socket::Pending done = std::move(s->outgoing.front());
                        s->outgoing.pop_front();
                        s->pending_bytes -= done.bytes->size();
                        if (done.done)
                          done.done->set_value(ec ? kTcpWriteFailed : static_cast<int>(n));
                        if (ec) {
                          // The rest cannot go out either.
                          for (auto& p : s->outgoing)
                            if (p.done) p.done->set_value(kTcpWriteFailed);
                          s->outgoing.clear();
                          s->pending_bytes = 0;
                          return;
                        }
                        write_next(s);
                      });
  }

  void close(int id) {
    const auto it = sockets.find(id);
    if (it == sockets.end()) return;
    std::error_code ignored;
    it->second->socket.shutdown(tcp::socket::shutdown_both, ignored);
    it->second->socket.close(ignored);
    sockets.erase(it);
  }

  void close_all() {
    std::error_code ignored;
    acceptor.close(ignored);
    retry.cancel();
    while (!sockets.empty()) close(sockets.begin()->first);
  }
};

TcpServer::TcpServer(Post post, Handler handler) : shared_(std::make_shared<Shared>()) {
  shared_->post = std::move(post);
  shared_->handler = std::move(handler);
  io_ = std::make_unique<Io>(shared_);
}

TcpServer::~TcpServer() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
  }
  shared_->data_arrived.notify_all();
  if (io_->thread.joinable()) {
    asio::post(io_->context, [io = io_.get()] { io->close_all(); });
    io_->work.reset();
    io_->thread.join();
  }
}

int TcpServer::listen(const std::string& address, int port) {
  Io& io = *io_;
  std::error_code ec;
  const auto ip = asio::ip::make_address(address, ec);
  if (!ec && (port < 0 || port > 65535)) ec = std::make_error_code(std::errc::invalid_argument);
  const tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
  if (!ec) io.acceptor.open(endpoint.protocol(), ec);
  if (!ec) io.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) io.acceptor.bind(endpoint, ec);
  if (!ec) io.acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (!ec) io.bound_port = io.acceptor.local_endpoint(ec).port();
  if (ec) {
    io.note_error(ec);
    std::error_code ignored;
    io.acceptor.close(ignored);
    return kTcpListenFailed;
  }
  shared_->resume_reading = [&io](int id) { asio::post(io.context, [&io, id] { io.resume(id); }); };
  io.accept();
  io.thread = std::thread([&io] { io.context.run(); });
  return 0;
}

int TcpServer::port() const {
  return io_->bound_port;
}

int TcpServer::read(int conversation, std::span<char> buffer, int timeout_ms) {
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const auto it = s.conversations.find(conversation);
    if (s.closed || it == s.conversations.end()) return kTcpNotConnected;
    auto& c = it->second;
    if (!c.inbox.empty()) {
      const std::size_t n = std::min(buffer.size(), c.inbox.size());
      std::copy_n(c.inbox.begin(), n, buffer.begin());
      c.inbox.erase(0, n);
      const bool resume = c.paused && c.inbox.size() < kInboxLimit / 2;
      if (resume) c.paused = false;
      lock.unlock();
      if (resume) s.resume_reading(conversation);
      return static_cast<int>(n);
    }
    if (c.peer_closed) return kTcpPeerClosed;
    if (s.data_arrived.wait_until(lock, deadline) == std::cv_status::timeout) {
      const auto again = s.conversations.find(conversation);
      if (again == s.conversations.end() || again->second.inbox.empty()) return kTcpTimeout;
    }
  }
}

int TcpServer::write(int conversation, std::span<const char> data, int timeout_ms) {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->closed || shared_->conversations.count(conversation) == 0) return kTcpNotConnected;
  }
  auto done = std::make_shared<std::promise<int>>();
  auto result = done->get_future();
  auto bytes = std::make_shared<std::string>(data.begin(), data.end());
  Io& io = *io_;
  asio::post(io.context, [&io, conversation, bytes, done] {
    const auto it = io.sockets.find(conversation);
    if (it == io.sockets.end()) return done->set_value(kTcpNotConnected);
    io.enqueue(it->second, {bytes, done});
  });
  if (result.wait_for(std::chrono::milliseconds(timeout_ms)) != std::future_status::ready)
    return kTcpTimeout;
  return result.get();
}

int TcpServer::send(int conversation, std::string data, std::size_t max_pending) {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->closed || shared_->conversations.count(conversation) == 0) return kTcpNotConnected;
  }
  auto done = std::make_shared<std::promise<int>>();
  auto result = done->get_future();
  auto bytes = std::make_shared<std::string>(std::move(data));
  Io& io = *io_;
  // The check against the queue is made on the I/O thread, which owns it; it answers
  // at once, so waiting here costs no more than a hop to that thread.
  asio::post(io.context, [&io, conversation, bytes, done, max_pending] {
    const auto it = io.sockets.find(conversation);
    if (it == io.sockets.end()) return done->set_value(kTcpNotConnected);
    if (it->second->pending_bytes + bytes->size() > max_pending)
      return done->set_value(kTcpWriteBusy);
    io.enqueue(it->second, {bytes, nullptr});
    done->set_value(0);
  });
  return result.get();
}

int TcpServer::disconnect(int conversation) {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->conversations.erase(conversation) == 0) return kTcpNotConnected;
  }
  shared_->data_arrived.notify_all();
  Io& io = *io_;
  asio::post(io.context, [&io, conversation] { io.close(conversation); });
  return 0;
}

int TcpServer::peer_address(int conversation, std::string& address) const {
  std::lock_guard lock(shared_->mutex);
  const auto it = shared_->conversations.find(conversation);
  if (it == shared_->conversations.end() || it->second.peer.empty()) return kTcpNotConnected;
  address = it->second.peer;
  return 0;
}

std::string TcpServer::last_system_error() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->system_error;
}

}  // namespace vx
