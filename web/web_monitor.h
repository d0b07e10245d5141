// The web monitor as a front end starts it: `--web [ADDRESS:]PORT`, a token file for any
// address other than this machine's own, and a cap on connections. While it serves, the
// user-interface thread copies the run's status a few times a second and the acquisition
// copies an event at most as often (a consumer of the run's events), whatever the number of
// viewers.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/state.h"

namespace vx {

struct WebOptions {
  std::string address = "127.0.0.1";
  int port = 0;  // 0: a free one
  std::string token_file;
  int max_clients = 32;
};

// ADDRESS:PORT, [IPv6]:PORT or PORT alone (this machine only). False, with the reason, when
// it is none of them.
bool Parse_WebAddress(const std::string& text, WebOptions& options, std::string& error);
// The token held by a file only its owner may read: its first line, 16 to 256 printable
// characters. Empty, with the reason in error, otherwise.
std::string Read_WebToken(const std::string& path, std::string& error);

class MonitorFeed;

class WebMonitor {
 public:
  explicit WebMonitor(State& st);
  ~WebMonitor();
  WebMonitor(const WebMonitor&) = delete;
  WebMonitor& operator=(const WebMonitor&) = delete;

  // On the user-interface thread, before a run. Refuses (false, with the reason in error) an
  // address other than loopback without a token file, a token file that others may read, an
  // address that cannot be bound. The message log says where it serves.
  bool start(const WebOptions& options, std::string& error);
  void stop();
  bool serving() const;
  // "http://127.0.0.1:8080/" while serving.
  std::string url() const;

 private:
  struct Running;
  State& st_;
  std::shared_ptr<MonitorFeed> feed_;
  std::unique_ptr<Running> running_;
};

}  // namespace vx
