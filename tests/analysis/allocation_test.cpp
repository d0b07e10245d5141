// The per-event pass must not allocate once a run is set up: every operator new of this
// test program is counted while the pass runs. Large allocations can also be made to fail,
// as they do when memory runs out.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "analysis/fft_noise.h"
#include "analysis/measurement_pass.h"
#include "files/data_file_reader.h"
#include "files/data_file_writer.h"
#include "measurement_setup.h"
#include "support/saved_runs.h"
#include "support/sim_core.h"
#include "support/test_state.h"

namespace {
std::atomic<long> g_allocations{0};
std::atomic<std::size_t> g_fail_from{0};  // allocations of this size and more fail; 0: none
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  const std::size_t fail_from = g_fail_from.load(std::memory_order_relaxed);
  if (fail_from != 0 && size >= fail_from) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// The library's own nothrow allocations (a stable sort's buffer) come here too: counted, made
// to fail alike, and given back by the delete below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
// Not inlined: where the compiler sees both ends of a new that may throw, it takes free()
// for a mismatch.
[[gnu::noinline]] void operator delete(void* p) noexcept {
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
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
  Prepare_MeasurementsForRun(st, st, Freeze_RunConfig(st));
  st.EventNumber = 1;
  Compute_EventMeasurements(st, st.pool, Freeze_RunConfig(st),
                            st.event);              // first call on this thread: its scratch arrays
  Compute_FFT(st, Freeze_RunConfig(st), st.event);  // first transform: its plan

  for (int spline : {1, 0}) {
    st.meas.PerformSplineInterp = spline;
    Reset_RunSummary(st);  // a new run: its lists have room for 201 events
    Prepare_MeasurementsForRun(st, st, Freeze_RunConfig(st));
    const long before = g_allocations.load();
    for (int event = 2; event < 150; ++event) {
      st.EventNumber = event;
      Compute_EventMeasurements(st, st.pool, Freeze_RunConfig(st), st.event);
      Compute_FFT(st, Freeze_RunConfig(st), st.event);
      Compute_NoiseMeasurement(st, Freeze_RunConfig(st), st.event);
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
}

// Memory that runs out in the writer (a binary run, whose records it makes: its buffer
// grows past 1 MiB after some hundred events) or in the formatter (an ASCII run, whose first
// record needs more room than 300 KiB) ends the run with the error told, and leaves closed
// files that replay to their last whole event. So does memory missing for the saving queue's
// slots (8 MiB, made as the first saving run starts): the run stops before its first event.
TEST(analysis_allocation, MemoryRunningOutWhileSavingEndsTheRunWithReadableFiles) {
  struct Case {
    int type;
    std::size_t fail_from;
    bool queue_made;
    const char* told;
  };
  for (const Case& c : {Case{1, std::size_t{1} << 20, true, "': out of memory. Saving stopped: "},
                        Case{0, 300 << 10, true, "': out of memory. Saving stopped: "},
                        Case{1, 4 << 20, false, "Not enough memory for the saving queue"}}) {
    SCOPED_TRACE(c.told);
    test::SimCore sim("DT5743");
    sim.connect();
    State& st = sim.st;
    test::save_runs(st, sim.dir.path() / "RunData", c.type);
    for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = ch < 2;
    Set_RunType(st, st, 1, 2000);
    // The queue's slots are made once; made here, memory runs out only where the case says,
    // however far the loop has gone when the failures begin.
    if (c.queue_made) st.SavingQueue.reset();
    const int generation = st.AcquisitionGeneration.load();
    if (!c.queue_made) g_fail_from = c.fail_from;
    ASSERT_EQ(Start_AcquisitionFromUser(st), 1);
    g_fail_from = c.fail_from;
    const bool ended = test::wait_run_end(st, generation, 60.0);
    g_fail_from = 0;
    ASSERT_TRUE(ended);
    EXPECT_LT(st.EventNumber.load(), 2000) << "the run ended early";
    EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Errors, c.told));
    test::TestCore reader;
    reader.state.log.file = sim.dir.path() / "reader.log";
    ASSERT_EQ(Open_DataFileForLoading(reader.state, st.files.FileForSavingData), kDone);
    int read = 0;
    while (Read_EventsFromFile(reader.state)) ++read;
    EXPECT_EQ(read, Saved_EventCount(st, st));
    EXPECT_FALSE(reader.state.files.CutShort || reader.state.files.Damaged);
  }
}

}  // namespace
}  // namespace vx
