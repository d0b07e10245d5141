// Remote-control state beside TCPParams: the TCP server panel's contents, the status of
// the last TCP call and the server itself while it is registered.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/tcp_server.h"

namespace vx {

struct RemoteData {
  std::int32_t TCPError = 0;
  std::string TCPSystemError;  // the system's text for the last failed TCP call

  // TCP server panel: the received-messages box and the register button's label.
  std::string ReceivedMessages;
  std::uint64_t ReceivedMessagesDropped = 0;  // bytes let go from the front of the box
  std::string ServerButtonLabel = "Register TCP/IP Server";
  bool PortFieldDimmed = false;

  // Where the server listens: every interface, so that a client elsewhere can reach it.
  std::string ListenAddress = "0.0.0.0";
  std::shared_ptr<TcpServer> server;
  bool hooks_installed = false;
};

}  // namespace vx
