// A remote-control client on the loopback interface, on plain sockets. Reads never block:
// poll() takes what has arrived.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace vx::test {

class TcpClient {
 public:
  explicit TcpClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot connect to the server");
  }
  ~TcpClient() { close(); }
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  void send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n < 0) throw std::runtime_error("send failed");
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  // Collects what has arrived; false once the server has closed the conversation.
  bool poll() {
    std::array<char, 1024> buffer{};
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n > 0) {
        received.append(buffer.data(), static_cast<std::size_t>(n));
        continue;
      }
      return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
  }

  // Polls until what was received holds text (true), the server closes or `seconds` pass.
  bool wait_received(const std::string& text, double seconds = 30.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (received.find(text) == std::string::npos) {
      if (!poll() && received.find(text) == std::string::npos) return false;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::string received;

 private:
  int fd_;
};

}  // namespace vx::test
