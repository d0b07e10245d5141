// The per-event pass must not allocate once a run is set up: every operator new of this
// test program is counted while the pass runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "analysis/fft_noise.h"
#include "analysis/measurement_pass.h"
#include "measurement_setup.h"
#include "support/test_state.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace vx {
namespace {

TEST(analysis_allocation, EventPassAllocatesNothingAfterRunSetup) {
  test::MeasurementCore core;
  State& st = core.st;
  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.acq.FFTMode = 1;
  st.gui.DisplayModulo = 1000;  // no display refresh: the recording front end allocates
  for (int b = 0; b < kMaxSamBlocks; ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c)
      test::fill_gaussian(st.event.FullyOrderedValues[b][c], 5.0, c ? 700.0 : -700.0,
                          200.0 + 40.0 * b, 3.0);
  Prepare_MeasurementsForRun(st);
  st.EventNumber = 1;
  Compute_EventMeasurements(st);  // first call on this thread: its scratch arrays
  Compute_FFT(st);                // first transform: its plan

  for (int spline : {1, 0}) {
    st.meas.PerformSplineInterp = spline;
    Reset_RunSummary(st);  // a new run: its lists have room for 201 events
    Prepare_MeasurementsForRun(st);
    const long before = g_allocations.load();
    for (int event = 2; event < 150; ++event) {
      st.EventNumber = event;
      Compute_EventMeasurements(st);
      Compute_FFT(st);
      Compute_NoiseMeasurement(st);
    }
    EXPECT_EQ(g_allocations.load() - before, 0) << "spline " << spline;
  }
  EXPECT_GT(st.results.AmplitudeValue[7][1], 0.4f);  // the pass did run
}

// A per-run list at its cap serves its oldest chunk again: a run of any length takes no
// more memory once its lists are full.
TEST(analysis_allocation, FullListsAllocateNothing) {
  RunList<float> list;
  constexpr std::size_t kChunk = RunList<float>::kChunkEntries;
  list.set_cap(2 * kChunk);
  for (std::size_t k = 0; k < 4 * kChunk; ++k) list.push_back(1.0f);
  const long before = g_allocations.load();
  for (std::size_t k = 0; k < 10 * kChunk; ++k) list.push_back(2.0f);
  EXPECT_EQ(g_allocations.load() - before, 0);
  EXPECT_TRUE(list.dropped());
  EXPECT_EQ(list.size(), 14 * kChunk);
}

}  // namespace
}  // namespace vx
