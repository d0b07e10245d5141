// Remote-control state beside TCPParams: the TCP server panel's contents, the status of
// the last TCP call and the server itself while it is registered.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/tcp_server.h"

namespace vx {

// Run data on their way to the remote client: the acquisition thread formats each event
// into the outbox, the user-interface thread hands the outbox to the connected client.
struct RunDataTransmission {
  std::mutex mutex;
  std::string outbox;               // guarded by mutex
  int generation = -1;              // run whose header was sent (acquisition thread)
  std::int64_t events_sent = 0;     // queued on the client's connection, this run (UI thread)
  std::int64_t events_dropped = 0;  // not sent: the client fell behind (guarded by mutex)
  std::int64_t events_lost = 0;     // not sent: no client, or it was gone (UI thread)
  std::int64_t events_queued = 0;   // in the outbox (guarded by mutex)
  std::atomic<bool> flush_posted{false};
  bool light_on = false;  // the TX light (user-interface thread)
};

// A command of the client, waiting for the tick.
struct RemoteRequest {
  enum class Kind { Start, Stop, LoadSetup };
  Kind kind;
  std::int32_t run_id = 0;  // Start
  std::string file;         // LoadSetup
};

struct RemoteData {
  // Commands in the order they arrived, and whether the next one waits for the end of a run
  // that a stop has been passed to (user-interface thread: TCP events and the tick).
  std::deque<RemoteRequest> requests;
  bool stop_under_way = false;

  std::int32_t TCPError = 0;
  std::string TCPSystemError;  // the system's text for the last failed TCP call

  // TCP server panel: the received-messages box and the register button's label.
  std::string ReceivedMessages;
  std::uint64_t ReceivedMessagesDropped = 0;  // bytes let go from the front of the box
  std::string ServerButtonLabel = "Register TCP/IP Server";
  bool PortFieldDimmed = false;

  // Where the server listens: this machine only, unless the user names another address.
  std::string ListenAddress = "127.0.0.1";
  // The client addresses the server accepts; empty accepts any.
  std::vector<std::string> AllowedClients;
  std::shared_ptr<TcpServer> server;
  bool hooks_installed = false;
  RunDataTransmission tx;
};

}  // namespace vx
