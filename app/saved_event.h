// One event as the data-file writer gets it: a copy of what the event's records in the
// data and measurement files are made of, taken by the acquisition thread when it hands the
// event over. The writer formats from it while the loop goes on with the next events.
#pragma once

#include <array>
#include <cstdint>

#include "app/event_data.h"
#include "app/file_data.h"
#include "app/measurement_data.h"
#include "app/measurement_jobs.h"
#include "app/params.h"
#include "platform/slot_ring.h"

namespace vx {

struct SavedEvent {
  std::int32_t EventNumber = 0;
  // What was written with the event: blocks of its data record and of its measurement
  // record, samples per channel, channels enabled, measurements in the data record.
  int Blocks = 0;
  int MeasurementBlocks = 0;
  int NbOfSamples = 0;
  bool Measured = false;
  std::array<std::int32_t, kMaxChannels> ChannelEnabled{};

  RunData Stamp{};  // the readout cycle's wall-clock stamp (and the rest of the run's data)
  EventResults Results{};
  PerChannel<std::uint16_t> TrigCount{};
  PerChannel<std::uint16_t> TimeCount{};
  std::array<std::uint32_t, kMaxSamBlocks> EventID{};
  std::array<std::uint32_t, kMaxSamBlocks> EventFCR{};
  std::array<std::uint64_t, kMaxSamBlocks> EventTDC{};
  std::array<char, 24> EventTimeChain{};
  // Only what the run's data files hold is copied: the written channels' samples, or their
  // spectra.
  PerChannel<Samples> Values{};
  PerChannel<ChannelSpectrum> Spectra{};

  // The data file's record format when the event was handed over, and the record itself
  // once the formatter thread has made it (text records cost most of a saving run: they
  // are made beside the writer, which then only copies them into its file).
  EventFormat Format = EventFormat::Ascii;
  // The loop left this event's measurements to the formatter: the jobs, pointing into
  // Values, which then holds every measured channel.
  bool MeasuredByFormatter = false;
  EventJobs Jobs{};
  // The spectra are left to the formatter: Values holds the written channels' samples
  // (SpectrumSamples of each), to be transformed with the record's decibel reference.
  bool SpectraPending = false;
  int SpectrumSamples = 0;
  int SpectrumHalf = 0;
  bool DataRecordReady = false;
  ByteBuffer DataRecord;
};

// Events in flight between the acquisition loop and the writer: enough to ride out a slow
// write of a few milliseconds at the board's full rate (about 8 MB of slots).
inline constexpr std::size_t kSaveRingSlots = 64;
// Events waiting for the formatter beyond which the loop makes their records itself.
inline constexpr std::size_t kFormatterBacklog = 16;
using SaveRing = SlotRing<SavedEvent>;

}  // namespace vx
