// The decoded event and the per-event results shared by acquisition, measurements,
// display and the data-file writer. Written by the acquisition thread (or the file
// reader during a replay) only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "app/params.h"

namespace vx {

template <typename T>
using PerChannel = std::array<std::array<T, kChannelsPerBlock>, kMaxSamBlocks>;
using Samples = std::array<float, kMaxSamples>;

// The measurements a replayed file stored with each channel record of the event just read
// (zeros when the run was saved without them). Replays measure again and do not use them;
// the exporter carries them over.
struct StoredMeasurement {
  float baseline = 0.0f;       // V
  float amplitude = 0.0f;      // V
  float charge = 0.0f;         // pC
  double leading_edge = 0.0;   // ns from the start of the run
  double trailing_edge = 0.0;  // ns from the start of the run
};

struct DecodedEvent {
  // Each channel's samples in time order, as decoded (or read from a file), once.
  PerChannel<Samples> FullyOrderedValues{};
  PerChannel<StoredMeasurement> StoredMeasurements{};  // replayed events only
  PerChannel<std::uint16_t> TrigCount{};
  PerChannel<std::uint16_t> TimeCount{};
  std::array<std::uint32_t, kMaxSamBlocks> EventID{};
  std::array<std::uint32_t, kMaxSamBlocks> EventFCR{};
  std::array<std::uint64_t, kMaxSamBlocks> EventTDC{};
  std::array<char, 24> EventTimeChain{};
};

// Results of the per-event measurements of the current event.
struct EventResults {
  PerChannel<float> RiseTimeInstant{};
  PerChannel<float> FallTimeInstant{};
  PerChannel<float> AmplitudeValue{};
  PerChannel<float> ComputedCharge{};
  PerChannel<float> MeasuredBaseline{};
};

// Per-run working data of the acquisition loop.
struct RunData {
  std::uint64_t TdcOverflowOffset = 0;
  std::uint64_t LastRawTdc = 0;
  // The board's clock starts again from zero at every start of the board, a settings restart's
  // included: a loop's event times count from where its board start falls in the run.
  double ClockOrigin = 0.0;      // the core's clock at the run's first board start
  double LoopClockOffset = 0.0;  // seconds from the run's first board start to this loop's
  std::int32_t NbOfPulses = 0;
  std::uint32_t InterruptStatus = 0;
  std::int32_t FileIndex = 0;         // current data file of the run
  std::int32_t ReadingFileIndex = 0;  // current file of a replayed series
  std::int32_t DataLoadedFromFile = 0;
  bool FileForSavingDataOpenOK = false;
  bool ReplayFileOpen = false;
  bool LoopEndedForRestart = false;  // how the last loop ended (acquisition thread)
  // Seconds the loop spent acquiring this run, restarts included, from each loop's setup to
  // its last event: the end-of-run wait and the closing of the files are not counted.
  double AcquisitionSeconds = 0.0;
  // Time the loop waited for room in the saving queue (the writer behind), and how often.
  double SavingQueueWaitSeconds = 0.0;
  std::int64_t SavingQueueWaits = 0;
  // When the loop last computed a display frame (the core's clock; acquisition thread), and
  // whether the last event it processed is on none (the display's pace left it out).
  double LastFrameTime = 0.0;
  bool FrameOwed = false;
  // This loop's measurements are made by the writer's formatter from the saved copies, and
  // the run's amplitude and charge sums are its until the loop has drained the queue.
  bool MeasuredByFormatter = false;
  // This loop's saved spectra are computed by the formatter from the saved samples; the
  // loop computes the spectrum of an event only for its own readers (SpectrumOfEvent: done
  // for the event now being handled).
  bool SpectraByFormatter = false;
  bool SpectrumOfEvent = false;

  // Wall-clock stamp of the readout cycle, when saving from the board.
  std::int32_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, WeekDay = 0;
  double Millisecond = 0.0;
  double EpochTime = 0.0;

  // Firmware charge mode: charge records per channel in the current readout.
  std::array<std::uint32_t, kMaxChannels> NbOfEventsPerChannel{};
};

}  // namespace vx
