// The simulated board's configuration text on arbitrary bytes: every input is either refused
// with one message per problem, each naming its line, or accepted; an accepted configuration
// must give a board that opens, triggers and delivers decodable events without fault.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "sim/sim_config.h"
#include "sim/simulated_board.h"

namespace {

// Board time moves only when told to, so that no input makes the target wait.
class SteppedClock final : public vx::Clock {
 public:
  double now() override { return t; }
  vx::WallTime wall() override { return vx::WallTime{}; }
  void delay(double seconds) override { t += seconds; }
  double t = 1000.0;
};

const std::filesystem::path& scratch() {
  static const auto dir = [] {
    auto d =
        std::filesystem::temp_directory_path() / ("veltrix-fuzz-sim-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// Opens the board, takes one software trigger and whatever self triggers a few
// milliseconds bring, and decodes every event read. The board's own refusals are fine.
void drive(const vx::sim::SimConfig& config) {
  auto clock = std::make_shared<SteppedClock>();
  vx::sim::SimulatedBoard board(config, scratch(), clock);
  int handle = -1;
  if (board.OpenDigitizer2(vx::kLinkOptical, vx::LinkArg{0u}, 0, config.vme_base_address,
                           &handle) != 0)
    return;
  vx::ReadoutBuffer buffer;
  vx::Event743* event = nullptr;
  if (board.SetMaxNumEventsBLT(handle, 4) == 0 && board.MallocReadoutBuffer(handle, &buffer) == 0 &&
      board.AllocateEvent(handle, &event) == 0 && board.SWStartAcquisition(handle) == 0) {
    board.SendSWtrigger(handle);
    for (int round = 0; round < 2; ++round) {
      clock->delay(0.005);
      std::uint32_t n = 0;
      if (board.ReadData(handle, 0, &buffer) != 0) break;
      if (buffer.filled > buffer.capacity) std::abort();
      if (board.GetNumEvents(handle, buffer, &n) != 0) break;
      for (std::uint32_t i = 0; i < n; ++i) {
        vx::EventInfo info;
        const char* ptr = nullptr;
        if (board.GetEventInfo(handle, buffer, static_cast<std::int32_t>(i), &info, &ptr) != 0)
          break;
        board.DecodeEvent(handle, ptr, &event);
      }
    }
    board.SWStopAcquisition(handle);
  }
  if (event) board.FreeEvent(handle, &event);
  if (buffer.data) board.FreeReadoutBuffer(handle, &buffer);
  board.CloseDigitizer(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const vx::sim::SimConfigParse parsed = vx::sim::parse_sim_config(text);
  for (const std::string& e : parsed.errors)
    if (e.rfind("line ", 0) != 0) std::abort();
  if (parsed.ok()) drive(parsed.config);
  return 0;
}
