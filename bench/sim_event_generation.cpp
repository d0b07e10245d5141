// Generation and readout of full events (16 channels, 1024 samples, pulses, noise, pedestal and
// INL corrections) by the simulated board, in events per second of one core.
#include <benchmark/benchmark.h>

#include <time.h>

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

double thread_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// A board triggered externally at 1 MHz, as a fast pulser would, with the given correction
// level; each readout brings 100 of the 200 events its memory holds.
struct BenchBoard {
  explicit BenchBoard(int correction_level)
      : dir(std::filesystem::temp_directory_path() / "vx_bench_sim"),
        clock(std::make_shared<SteppedClock>()),
        board(vx::sim::parse_sim_config(
                  "model = V1743\nregister_access_us = 0\nexternal_rate_hz = 1e6\n"
                  "memory_events = 200\ndead_time_us = 0\npulse.jitter_ps = 20\n")
                  .config,
              dir, clock) {
    ok = board.OpenDigitizer2(vx::kLinkOptical, vx::LinkArg{0u}, 0, 0, &h) == 0 &&
         board.SetMaxNumEventsBLT(h, 100) == 0 && board.MallocReadoutBuffer(h, &buffer) == 0 &&
         board.AllocateEvent(h, &event) == 0 &&
         board.SetSAMCorrectionLevel(h, correction_level) == 0 &&
         board.SetExtTriggerInputMode(h, vx::kTrgModeAcqOnly) == 0 &&
         board.SWStartAcquisition(h) == 0;
  }
  ~BenchBoard() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  // One block transfer; returns its events.
  std::uint32_t read() {
    clock->advance(1e-3);  // about 1000 triggers; the memory keeps 200
    board.ReadData(h, 0, &buffer);
    std::uint32_t n = 0;
    board.GetNumEvents(h, buffer, &n);
    return n;
  }

  std::filesystem::path dir;
  std::shared_ptr<SteppedClock> clock;
  vx::sim::SimulatedBoard board;
  bool ok = false;
  int h = -1;
  vx::ReadoutBuffer buffer;
  vx::Event743* event = nullptr;
};

// Events per second of wall time, and of the thread's own CPU time: on a machine that other
// work shares, the second is what one core of its own would give.
void count_events(benchmark::State& state, std::int64_t events, double cpu_seconds) {
  state.SetItemsProcessed(events);
  state.counters["events_per_cpu_s"] =
      cpu_seconds > 0 ? static_cast<double>(events) / cpu_seconds : 0;
}

// Generation, readout and decoding of full events: what an acquisition gets from the board.
void BM_FullEvents(benchmark::State& state) {
  BenchBoard b(static_cast<int>(state.range(0)));
  if (!b.ok) {
    state.SkipWithError("board setup failed");
    return;
  }
  std::int64_t events = 0;
  const double cpu0 = thread_cpu_seconds();
  for (auto _ : state) {
    const std::uint32_t n = b.read();
    for (std::uint32_t i = 0; i < n; ++i) {
      vx::EventInfo info;
      const char* ptr = nullptr;
      b.board.GetEventInfo(b.h, b.buffer, static_cast<std::int32_t>(i), &info, &ptr);
      b.board.DecodeEvent(b.h, ptr, &b.event);
      benchmark::DoNotOptimize(b.event->DataGroup[7].DataChannel[1][1023]);
    }
    events += n;
    b.board.ClearData(b.h);
  }
  count_events(state, events, thread_cpu_seconds() - cpu0);
}

// The board's side alone: triggers, signal synthesis and encoding into the readout buffer,
// without the library's decoding (the difference to the full case is the decoding).
void BM_GenerationOnly(benchmark::State& state) {
  BenchBoard b(1);
  if (!b.ok) {
    state.SkipWithError("board setup failed");
    return;
  }
  std::int64_t events = 0;
  const double cpu0 = thread_cpu_seconds();
  for (auto _ : state) {
    events += b.read();
    benchmark::DoNotOptimize(b.buffer.data[b.buffer.filled - 1]);
    b.board.ClearData(b.h);
  }
  count_events(state, events, thread_cpu_seconds() - cpu0);
}

BENCHMARK(BM_FullEvents)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GenerationOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
