// What the web monitor shows, copied out of the core by the threads that own it: the run's
// status and the board by the user-interface thread, the latest event with the run's
// histograms by the acquisition thread. The copies are plain values; the server's threads
// read nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/params.h"
#include "app/state.h"
#include "platform/front_end.h"

namespace vx {

struct RunConfig;
struct DecodedEvent;

enum class MonitorRunState { Idle, Running, Stopping };

// Copied by the user-interface thread.
struct StatusCopy {
  MonitorRunState state = MonitorRunState::Idle;
  int run_type = kRunContinuous;
  bool replay = false;
  std::int64_t events_required = 0;
  double duration_s = 0.0;
  std::string run_directory;
  std::string data_file;
  double elapsed_s = 0.0;
  std::int64_t events = 0;
  std::int64_t event_number = 0;
  double rate_hz = 0.0;
  std::uint64_t bytes_saved = 0;
  bool connected = false;
};

struct BlockCopy {
  std::string serial;
  bool pedestals_held = false;
  bool pedestals_in_use = false;
  bool inl_held = false;
  bool sam_dac_held = false;
};

struct BoardCopy {
  bool connected = false;
  std::string model;
  std::string link;
  int channels = 0;
  double sampling_mhz = 0.0;
  int samples = 0;
  bool inl_correction = false;
  bool trigger_dac_offsets_measured = false;
  std::string board_serial;
  std::string motherboard_firmware;
  std::string daughterboard_firmware;
  std::vector<BlockCopy> blocks;
  std::array<Rgb, kMaxChannels> colours{};
  std::array<bool, kMaxChannels> enabled{};
};

// Every channel's rate and mean noise now.
struct ChannelValues {
  bool rates_tracked = false;
  bool noise_tracked = false;
  std::array<std::optional<double>, kMaxChannels> rate_hz{};
  std::array<std::optional<double>, kMaxChannels> rate_error_hz{};
  std::array<std::optional<double>, kMaxChannels> mean_sigma_mv{};
  int channels = 0;
};

// One channel's record, at most kMaxMonitorPoints points: each point the lowest and the
// highest sample of its bin, in volts.
inline constexpr int kMaxMonitorPoints = 2048;
struct WaveformCopy {
  int channel = 0;
  double t0_ns = 0.0;
  double dt_ns = 0.0;
  std::vector<float> min, max;
};

struct HistogramCopy {
  int channel = 0;  // a charge histogram's channel
  std::vector<double> centres;
  std::vector<std::int64_t> counts;
  std::int64_t entries = 0;
  std::optional<double> mean, spread;  // rms (time, ns) or sigma (charge, pC)
  std::optional<double> fit_mean, fit_sigma;
};

// Copied by the acquisition thread, from the event it is handed and the run it owns.
struct EventCopy {
  bool has_event = false;  // else the run's histograms and counts alone
  std::optional<std::int64_t> event_number;
  std::optional<double> event_time_s;
  std::vector<WaveformCopy> waveforms;
  std::string replay_file;  // the file being replayed now
  double acquisition_s = 0.0;
  std::int64_t saving_queue_waits = 0;
  double saving_queue_wait_s = 0.0;
  bool time_histogram_shown = false;
  std::array<int, 2> time_channels{};
  HistogramCopy time;
  bool charge_histograms_shown = false;
  std::vector<HistogramCopy> charges;
};

// The samples of one record cut into at most max_points bins, each keeping its lowest and
// highest value times scale (the record itself when it is short enough).
void Decimate_Record(const float* samples, int count, int max_points, double scale,
                     std::vector<float>& min, std::vector<float>& max);

// On the user-interface thread.
StatusCopy Copy_Status(State& st);
BoardCopy Copy_Board(const Settings& st, const BoardLink& link);
ChannelValues Copy_ChannelValues(State& st);
// On the acquisition thread, in the event's turn; event null as a loop ends (the run's
// histograms as they stand then).
EventCopy Copy_Event(State& st, const RunConfig& cfg, const DecodedEvent* event);

}  // namespace vx
