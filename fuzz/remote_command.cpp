// The remote-control command handler on arbitrary bytes from a client.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/parameters.h"
#include "platform/null_front_end.h"
#include "remote/tcp_interface.h"

namespace {

// Declines every question, so that no command can make the handler wait on a dialog.
class SilentFrontEnd final : public vx::NullFrontEnd {
 public:
  bool confirm(const std::string&, const std::string&) override { return false; }
};

struct Harness {
  Harness() {
    vx::Init_Params(st);
    st.log.file = "/dev/null";
  }
  SilentFrontEnd ui;
  vx::SystemClock clock;
  vx::ThreadPool pool;
  vx::State st{ui, clock, pool};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Harness h;
  vx::State& st = h.st;
  // The first byte chooses whether commands are obeyed and whether a run is going on.
  const std::uint8_t mode = size > 0 ? data[0] : 0;
  st.acq.TCPCommandsEnabled = mode & 1;
  st.AcquisitionRunning = (mode >> 1) & 1;
  const std::span<const char> message(reinterpret_cast<const char*>(data), size);
  vx::Handle_TCPMessage(st, st, size > 0 ? message.subspan(1) : message);

  if (vx::text_length(st.tcp.RemoteSetupFileName) >= sizeof st.tcp.RemoteSetupFileName)
    std::abort();
  if (st.remote.ReceivedMessages.size() > 64 * 1024) std::abort();
  if (st.tcp.RemoteStartRequest == 1 && (st.tcp.TCPRunId > 99999999 || st.tcp.TCPRunId < -9999999))
    std::abort();
  if (st.acq.TCPCommandsEnabled == 0 &&
      (st.tcp.RemoteStartRequest | st.tcp.RemoteLoadSetupRequest) != 0)
    std::abort();
  // Nothing serves the queue here: each input starts with none waiting.
  st.remote.requests.clear();
  st.tcp.RemoteStartRequest = st.tcp.RemoteStopRequest = st.tcp.RemoteLoadSetupRequest = 0;
  return 0;
}
