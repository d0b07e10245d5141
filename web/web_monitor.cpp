#include "web/web_monitor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "acquisition/acquisition_loop.h"
#include "app/file_data.h"
#include "app/message_log.h"
#include "app/record_loan.h"
#include "app/run_config.h"
#include "remote/client_allow_list.h"
#include "web/monitor_feed.h"
#include "web/monitor_server.h"

namespace vx {

namespace {

// How often the status and an event are copied for the monitor.
constexpr double kCopyInterval = 0.25;
constexpr const char* kConsumerName = "web monitor";

double seconds_since_epoch() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

bool all_digits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool Parse_WebAddress(const std::string& text, WebOptions& options, std::string& error) {
  std::string address = "127.0.0.1", port = text;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      error = "--web: " + text + " is not [IPV6]:PORT";
      return false;
    }
    address = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (!Is_ListenAddress(address) && address != "localhost") {
    error = "--web: " + address + " is not a numeric IPv4 or IPv6 address of this machine";
    return false;
  }
  if (!all_digits(port) || port.size() > 5 || std::stoi(port) > 65535) {
    error = "--web: " + text + " is not [ADDRESS:]PORT (a port from 0 to 65535)";
    return false;
  }
  options.address = address;
  options.port = std::stoi(port);
  return true;
}

std::string Read_WebToken(const std::string& path, std::string& error) {
  // The file checked is the file read: opened once, then asked who may read it.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "the token file " + path + " cannot be read";
    return {};
  }
  if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
    error = "the token file " + path +
            " may be read by others: it must be yours, and only yours to read (chmod 600 " + path +
            ")";
    return {};
  }
  std::array<char, 1024> head{};
  const ssize_t n = ::read(fd.get(), head.data(), head.size());
  if (n < 0) {
    error = "the token file " + path + " cannot be read";
    return {};
  }
  std::string token(head.data(), static_cast<std::size_t>(n));
  token = token.substr(0, token.find('\n'));
  while (!token.empty() && (token.back() == '\r' || token.back() == ' ' || token.back() == '\t'))
    token.pop_back();
  // Printable, and fit for a cookie's value: no space, quote, comma, semicolon or backslash.
  const bool printable = std::all_of(token.begin(), token.end(), [](char c) {
    return c > ' ' && c < 0x7f && c != '"' && c != ',' && c != ';' && c != '\\';
  });
  if (token.size() < 16 || token.size() > 256 || !printable) {
    error = "the token in " + path +
            " must be 16 to 256 printable characters on its first line, without spaces, quotes, "
            "commas, semicolons or backslashes";
    return {};
  }
  return token;
}

// While the monitor serves: its server, and the thread that asks the user-interface thread
// for the status copies.
struct WebMonitor::Running {
  std::unique_ptr<MonitorServer> server;
  std::string url;
  std::thread ticker;
  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  // Shared with the tasks posted to the user-interface thread, which may outlive this.
  struct Tick {
    std::atomic<bool> posted{false};
    std::atomic<bool> alive{true};
  };
  std::shared_ptr<Tick> tick = std::make_shared<Tick>();
  std::shared_ptr<std::atomic<bool>> events_wanted;
};

namespace {

void publish_status(State& st, MonitorFeed& feed) {
  const StatusCopy status = Copy_Status(st);
  std::optional<BoardCopy> board;
  // While a worker holds the board and the records, the board shown is the one before.
  if (!Records_Lent(st)) board = Copy_Board(st, st);
  feed.publish_status(status, board ? &*board : nullptr, Copy_ChannelValues(st),
                      seconds_since_epoch());
}

}  // namespace

WebMonitor::WebMonitor(State& st) : st_(st), feed_(std::make_shared<MonitorFeed>()) {}

WebMonitor::~WebMonitor() {
  stop();
}

bool WebMonitor::serving() const {
  return running_ != nullptr;
}

std::string WebMonitor::url() const {
  return running_ ? running_->url : std::string();
}

bool WebMonitor::start(const WebOptions& options, std::string& error) {
  stop();
  std::string token;
  if (!options.token_file.empty()) {
    token = Read_WebToken(options.token_file, error);
    if (token.empty()) return false;
  } else if (!Is_LoopbackAddress(options.address)) {
    error = "the web monitor listens on " + options.address +
            " only with a token: give --web-token-file FILE (or listen on 127.0.0.1)";
    return false;
  }
  if (options.max_clients < 1 || options.max_clients > 1024) {
    error = "--web-max-clients: from 1 to 1024";
    return false;
  }
  MonitorLimits limits;
  limits.max_clients = options.max_clients;
  auto running = std::make_unique<Running>();
  running->server = std::make_unique<MonitorServer>(feed_, st_.log, st_.clock, token, limits);
  publish_status(st_, *feed_);
  if (!running->server->start(options.address, options.port, error)) return false;
  const bool v6 = options.address.find(':') != std::string::npos;
  running->url = "http://" + (v6 ? "[" + options.address + "]" : options.address) + ":" +
                 std::to_string(running->server->port()) + "/";

  // Every event of the runs from now on passes the monitor, which copies one at its pace.
  running->events_wanted = std::make_shared<std::atomic<bool>>(true);
  const std::shared_ptr<MonitorFeed> feed = feed_;
  const std::shared_ptr<std::atomic<bool>> wanted = running->events_wanted;
  Register_EventConsumer(
      st_, {kConsumerName,
            EventStage::Monitoring,
            [feed, wanted](State& st, const RunConfig&) {
              return wanted->load() && feed->event_due(st.clock.now(), kCopyInterval);
            },
            [feed](State& st, const RunConfig& cfg, const DecodedEvent& event) {
              feed->publish_event(Copy_Event(st, cfg, &event), seconds_since_epoch());
            },
            {},
            [feed, wanted](State& st, const RunConfig& cfg) {
              if (wanted->load())
                feed->publish_event(Copy_Event(st, cfg, nullptr), seconds_since_epoch());
            }});

  Running* r = running.get();
  State& st = st_;
  r->ticker = std::thread([r, &st, feed] {
    std::unique_lock lock(r->mutex);
    while (!r->wake.wait_for(lock, std::chrono::duration<double>(kCopyInterval),
                             [r] { return r->stopping; })) {
      // One copy at a time: a user-interface thread that is busy gets no queue of them.
      if (r->tick->posted.exchange(true)) continue;
      st.ui.post([tick = r->tick, &st, feed] {
        if (!tick->alive.load()) return;
        publish_status(st, *feed);
        tick->posted = false;
      });
    }
  });
  running_ = std::move(running);
  Write_InfoMessage(st_.log, kInfo, "Web monitor: %s (read-only%s).\n", running_->url.c_str(),
                    token.empty() ? "" : ", with a token");
  return true;
}

void WebMonitor::stop() {
  if (!running_) return;
  {
    std::lock_guard lock(running_->mutex);
    running_->stopping = true;
  }
  running_->wake.notify_all();
  if (running_->ticker.joinable()) running_->ticker.join();
  running_->tick->alive = false;
  running_->events_wanted->store(false);
  running_->server->stop_serving();
  running_.reset();
}

}  // namespace vx
