// Generation and readout of full events (16 channels, 1024 samples, pulses, noise, pedestal and
// INL corrections) by the simulated board, in events per second of one core.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "sim/simulated_board.h"

namespace {

class SteppedClock final : public vx::Clock {
 public:
  double now() override {
    std::lock_guard lock(mutex_);
    return t_;
  }
  vx::WallTime wall() override { return {}; }
  void delay(double seconds) override { advance(seconds); }
  void advance(double seconds) {
    std::lock_guard lock(mutex_);
    t_ += seconds;
  }

 private:
  std::mutex mutex_;
  double t_ = 0.0;
};

void BM_FullEvents(benchmark::State& state) {
  const int correction_level = static_cast<int>(state.range(0));
  const auto dir = std::filesystem::temp_directory_path() / "vx_bench_sim";
  auto parsed = vx::sim::parse_sim_config(
      "model = V1743\nregister_access_us = 0\nexternal_rate_hz = 1e6\nmemory_events = 200\n"
      "dead_time_us = 0\npulse.jitter_ps = 20\n");
  auto clock = std::make_shared<SteppedClock>();
  vx::sim::SimulatedBoard board(parsed.config, dir, clock);
  int h = -1;
  char* buffer = nullptr;
  std::uint32_t buffer_size = 0;
  vx::Event743* event = nullptr;
  if (board.OpenDigitizer2(vx::kLinkOptical, vx::LinkArg{0u}, 0, 0, &h) != 0 ||
      board.SetMaxNumEventsBLT(h, 100) != 0 ||
      board.MallocReadoutBuffer(h, &buffer, &buffer_size) != 0 ||
      board.AllocateEvent(h, &event) != 0 ||
      board.SetSAMCorrectionLevel(h, correction_level) != 0 ||
      board.SetExtTriggerInputMode(h, vx::kTrgModeAcqOnly) != 0 ||
      board.SWStartAcquisition(h) != 0) {
    state.SkipWithError("board setup failed");
    return;
  }
  std::int64_t events = 0;
  for (auto _ : state) {
    clock->advance(1e-3);  // about 1000 triggers; the memory keeps 200
    std::uint32_t size = 0;
    board.ReadData(h, 0, buffer, &size);
    std::uint32_t n = 0;
    board.GetNumEvents(h, buffer, size, &n);
    for (std::uint32_t i = 0; i < n; ++i) {
      vx::EventInfo info;
      const char* ptr = nullptr;
      board.GetEventInfo(h, buffer, size, static_cast<std::int32_t>(i), &info, &ptr);
      board.DecodeEvent(h, ptr, &event);
      benchmark::DoNotOptimize(event->DataGroup[7].DataChannel[1][1023]);
    }
    events += n;
    board.ClearData(h);
  }
  state.SetItemsProcessed(events);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

BENCHMARK(BM_FullEvents)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
