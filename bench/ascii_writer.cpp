// The ASCII data-file writer: one printf per value (the reference) against the record
// built with exact fixed-point conversion into one buffer. A full event of 16 channels of
// 1024 samples, with measurements.
#include <benchmark/benchmark.h>

#include <random>

#include "files/record_format.h"
#include "platform/null_front_end.h"
#include "tests/support/printf_reference_writer.h"

namespace {

struct BenchCore {
  BenchCore() {
    st.sys.NbOfSAMBlocks = 8;
    st.sys.NbOfChannels = 16;
    st.sys.RecordLength = 1024;
    st.acq.MeasurementsEnabled = 1;
    for (int ch = 0; ch < vx::kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 1;
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 3.0f);
    for (auto& block : st.event.FullyOrderedValues)
      for (auto& channel : block)
        for (float& v : channel) v = 100.0f + noise(rng);
    st.EventNumber = 1;
  }
  vx::NullFrontEnd ui;
  vx::SystemClock clock;
  vx::ThreadPool pool{1};
  vx::State st{ui, clock, pool};
};

void BM_AsciiEvent_PrintfPerValue(benchmark::State& state) {
  BenchCore core;
  std::string out;
  for (auto _ : state) {
    out.clear();
    vx::test::printf_ascii_event(core.st, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
  state.counters["samples/s"] =
      benchmark::Counter(16.0 * 1024.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AsciiEvent_PrintfPerValue)->Unit(benchmark::kMicrosecond);

void BM_AsciiEvent_Buffered(benchmark::State& state) {
  BenchCore core;
  vx::ByteBuffer out;
  const vx::RunConfig cfg = vx::Freeze_RunConfig(core.st);
  for (auto _ : state) {
    out.size = 0;
    vx::append_ascii_event(core.st, core.st, cfg, core.st.event, out);
    benchmark::DoNotOptimize(out.data.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size));
  state.counters["samples/s"] =
      benchmark::Counter(16.0 * 1024.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AsciiEvent_Buffered)->Unit(benchmark::kMicrosecond);

void BM_BinaryEvent(benchmark::State& state) {
  BenchCore core;
  vx::ByteBuffer out;
  const vx::RunConfig cfg = vx::Freeze_RunConfig(core.st);
  for (auto _ : state) {
    out.size = 0;
    vx::append_binary_event(core.st, core.st, cfg, core.st.event, out);
    benchmark::DoNotOptimize(out.data.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size));
}
BENCHMARK(BM_BinaryEvent)->Unit(benchmark::kMicrosecond);

}  // namespace
