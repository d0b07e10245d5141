// A binary run file written through the run-file writer's own record code, with pulses of
// known shape, for tests and benchmarks that need a run without acquiring one.
#pragma once

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/state.h"
#include "files/record_format.h"

namespace vx::test {

// Writes events of the given channels (flat numbers, ascending) into path; channel ch of
// event n holds a negative pulse of 200 + 10 n + ch counts at sample 300 + ch, over a
// baseline of 800 counts with a few counts of pseudo-random noise.
inline bool write_binary_run(State& st, const std::filesystem::path& path, int events, int channels,
                             int samples = kMaxSamples) {
  st.sys.NbOfSAMBlocks = kMaxSamBlocks;
  st.sys.NbOfChannels = kMaxChannels;
  st.sys.RecordLength = samples;
  st.sam[0].BoardGain = 1.0f;
  st.acq.MeasurementsEnabled = 0;
  for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = ch < channels ? 1 : 0;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const std::string header = common_header(Freeze_RunConfig(st)) +
                             data_header_line(Freeze_RunConfig(st), st.acq.FFTMode == 1);
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  ByteBuffer buffer;
  std::uint32_t noise = 12345;
  for (int n = 1; n <= events && ok; ++n) {
    st.EventNumber.store(n);
    st.run.EpochTime = 1.8e9 + n * 0.001;
    st.event.EventTDC.fill(static_cast<std::uint64_t>(n) * 1000);
    for (int ch = 0; ch < channels; ++ch) {
      auto& v = st.event.FullyOrderedValues[ch / 2][ch % 2];
      const double height = 200.0 + 10.0 * n + ch;
      for (int k = 0; k < samples; ++k) {
        const double x = (k - 300.0 - ch) / 5.0;
        noise = noise * 1664525u + 1013904223u;
        v[k] = static_cast<float>(800.25 + (noise >> 8) * (6.0 / 16777216.0) - 3.0 -
                                  height * std::exp(-0.5 * x * x));
      }
    }
    buffer.size = 0;
    append_binary_event(st, st, Freeze_RunConfig(st), st.event, buffer);
    ok = std::fwrite(buffer.data.data(), 1, buffer.size, f) == buffer.size;
  }
  return std::fclose(f) == 0 && ok;
}

// Damages event `index` (0-based) of a binary run file holding `events` events of equal
// size: its first channel record gets channel number 99, which no reader accepts.
inline bool damage_binary_event(const std::filesystem::path& path, int events, int index) {
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  if (f == nullptr) return false;
  long header = 0;
  for (int lines = 0; lines < 4;) {
    const int c = std::fgetc(f);
    if (c == EOF) break;
    ++header;
    lines += c == '\n' ? 1 : 0;
  }
  std::fseek(f, 0, SEEK_END);
  const long event = (std::ftell(f) - header) / events;
  const std::int32_t channel = 99;
  const bool ok = std::fseek(f, header + index * event + 71, SEEK_SET) == 0 &&
                  std::fwrite(&channel, sizeof channel, 1, f) == 1;
  return std::fclose(f) == 0 && ok;
}

}  // namespace vx::test
