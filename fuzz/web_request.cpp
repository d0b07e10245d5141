// The web monitor's answer to arbitrary bytes from a client: the request line, the paths,
// the query strings, the headers and the token's cookie and header, as a connection brings
// them. Whatever comes, the answer is one whole HTTP response, nothing of the run is given
// without the token, and nothing but GET and HEAD is ever served.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/null_front_end.h"
#include "web/monitor_server.h"

namespace {

constexpr const char* kToken = "0123456789abcdef";
constexpr const char* kSecret = "run-4242";  // in every answer made from the feed

struct Harness {
  Harness() {
    st.log.file = "/dev/null";
    vx::EventCopy event;
    event.has_event = true;
    event.replay_file = kSecret;
    event.waveforms.push_back({3, 0.0, 0.3125, {-0.2f, 0.1f}, {-0.2f, 0.1f}});
    feed->publish_event(event, 1.0);
    vx::StatusCopy status;
    status.run_directory = kSecret;
    status.replay = true;
    feed->publish_status(status, nullptr, {}, 1.0);
  }
  vx::NullFrontEnd ui;
  vx::SystemClock clock;
  vx::ThreadPool pool;
  vx::State st{ui, clock, pool};
  std::shared_ptr<vx::MonitorFeed> feed = std::make_shared<vx::MonitorFeed>();
  vx::MonitorServer with_token{feed, st.log, clock, kToken, {}};
  vx::MonitorServer open{feed, st.log, clock, "", {}};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Harness h;
  if (size == 0) return 0;
  // The first byte chooses the server, with a token or without; the others are the request.
  const bool guarded = (data[0] & 1) != 0;
  const std::string request(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string answer = (guarded ? h.with_token : h.open).answer_bytes(request);
  if (answer.empty()) return 0;  // the connection closed without an answer
  if (answer.rfind("HTTP/1.1 ", 0) != 0 || answer.find("\r\n\r\n") == std::string::npos)
    std::abort();
  const int status = std::atoi(answer.c_str() + 9);
  // The library reads the method after any leading blanks.
  const std::string line =
      request.substr(std::min(request.find_first_not_of(" \t\r\n"), request.size()));
  const bool read_only = line.rfind("GET", 0) == 0 || line.rfind("HEAD", 0) == 0;
  if (status / 100 == 2 && !read_only) std::abort();
  if (guarded && answer.find(kSecret) != std::string::npos &&
      request.find(kToken) == std::string::npos)
    std::abort();
  return 0;
}
