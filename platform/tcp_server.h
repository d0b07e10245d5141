// The TCP layer under the remote-control server: one listening socket whose connections
// ("conversations") are served on a private I/O thread. Every event is handed to the
// user-interface thread through the post function given at construction; reads, writes
// and disconnects are called from that thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace vx {

enum class TcpEvent { Connect, Disconnect, DataReady };

// Results are the number of bytes (read, write) or 0 for success, negative for an error.
inline constexpr int kTcpNotConnected = -1;
inline constexpr int kTcpTimeout = -2;
inline constexpr int kTcpListenFailed = -3;
inline constexpr int kTcpWriteFailed = -4;
inline constexpr int kTcpWriteBusy = -5;
inline constexpr int kTcpLookupFailed = -6;
inline constexpr int kTcpPeerClosed = -7;

// Text of an error code of this layer.
std::string tcp_error_string(int code);

// Address and name of this host, as a client elsewhere would see it. Negative on failure,
// with the system's reason in system_error.
int tcp_host_address(std::string& address, std::string& system_error);
int tcp_host_name(std::string& name, std::string& system_error);

class TcpServer {
 public:
  using Post = std::function<void(std::function<void()>)>;
  using Handler = std::function<void(int conversation, TcpEvent event)>;

  TcpServer(Post post, Handler handler);
  // Closes the listening socket and every conversation and joins the I/O thread. Events
  // still queued for the user-interface thread are dropped.
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Starts listening (port 0 picks a free one). 0, or kTcpListenFailed.
  int listen(const std::string& address, int port);
  int port() const;

  // Takes up to buffer.size() received bytes, waiting up to timeout_ms for the first.
  int read(int conversation, std::span<char> buffer, int timeout_ms);
  int write(int conversation, std::span<const char> data, int timeout_ms);
  // Queues data behind earlier writes and returns at once: 0, kTcpNotConnected, or
  // kTcpWriteBusy when more than max_pending bytes would be waiting to go out.
  int send(int conversation, std::string data, std::size_t max_pending);
  // Closes a conversation from this side; no Disconnect event follows for it.
  int disconnect(int conversation);
  int peer_address(int conversation, std::string& address) const;
  std::string last_system_error() const;

  struct Shared;
  struct Io;

 private:
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Io> io_;
};

}  // namespace vx
