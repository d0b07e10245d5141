// The web monitor's HTTP server: the page compiled into the program and the JSON answers of
// a MonitorFeed, read-only, with the limits that keep a slow or hostile client from holding
// a worker: a connection cap, header and body limits, idle and slow-request timeouts, and a
// token when one is set.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <httplib.h>

#include "web/monitor_feed.h"

namespace vx {

class MessageLog;
class Clock;

struct MonitorLimits {
  int max_clients = 32;       // connections served at once; 503 beyond
  int max_header_lines = 64;  // 431 beyond
  std::size_t max_header_bytes = 8192;
  std::size_t max_body_bytes = 1024;       // 413 beyond
  double idle_timeout_s = 5.0;             // between two requests of a connection
  double request_timeout_s = 10.0;         // for a whole request to arrive
  double refused_request_timeout_s = 1.0;  // for a request past the cap, to answer it 503
};

class MonitorServer : public httplib::Server {
 public:
  // token: empty for none. log and clock tell of refused tokens.
  MonitorServer(std::shared_ptr<MonitorFeed> feed, MessageLog& log, Clock& clock, std::string token,
                MonitorLimits limits);
  ~MonitorServer() override;

  // Binds ADDRESS:PORT (port 0: a free one) and serves on a thread of its own. False with
  // the reason in error when the address cannot be bound.
  bool start(const std::string& address, int port, std::string& error);
  int port() const { return port_; }
  // Stops serving: open connections are closed within a tenth of a second.
  void stop_serving();
  // The answer to bytes received on one connection, as the connection would get it (one
  // request, the connection then closed): the same checks and routes, without a socket.
  std::string answer_bytes(const std::string& request);

 private:
  bool process_and_close_socket(socket_t sock) override;
  httplib::Server::HandlerResponse check(const httplib::Request& req, httplib::Response& res);
  bool token_matches(const httplib::Request& req) const;
  void tell_refused(const std::string& peer);
  void add_routes();

  std::shared_ptr<MonitorFeed> feed_;
  MessageLog& log_;
  Clock& clock_;
  const std::string token_;
  const MonitorLimits limits_;
  std::atomic<int> connections_{0};
  std::atomic<bool> stopping_{false};
  std::mutex refused_mutex_;
  std::map<std::string, double> refused_told_;  // peer -> when its refusal was last logged
  std::thread thread_;
  int port_ = 0;
};

}  // namespace vx
