#include "files/hdf5_export.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "app/messages.h"
#include "app/parameters.h"
#include "app/state.h"
#include "files/data_file_reader.h"
#include "files/hdf5_run_file.h"
#include "files/measurement_file_reader.h"
#include "files/record_format.h"
#include "platform/clock.h"
#include "platform/null_front_end.h"
#include "platform/thread_pool.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

// Drops the "12h:3min:4s: " the message log puts in front of every text.
std::string without_time_prefix(const std::string& text) {
  int h = 0, m = 0, s = 0, used = 0;
  if (std::sscanf(text.c_str(), "%dh:%dmin:%ds: %n", &h, &m, &s, &used) == 3 && used > 0)
    return text.substr(static_cast<std::size_t>(used));
  return text;
}

// The reader's user: passes its messages on, remembers its errors and answers its question.
class ExportFrontEnd final : public NullFrontEnd {
 public:
  explicit ExportFrontEnd(const ExportRequest& request) : request_(request) {}
  void append_message(MessageTab tab, MessageKind kind, const std::string& text) override {
    if (tab != MessageTab::Infos) return;  // warnings and errors are also on the Infos tab
    const std::string plain = without_time_prefix(text);
    if (kind == MessageKind::Error && error.empty()) error = plain;
    if (request_.message) request_.message(plain, static_cast<int>(kind));
  }
  bool confirm(const std::string&, const std::string&) override {
    return request_.accept_other_version;
  }
  std::string error;  // the first error the reader told

 private:
  const ExportRequest& request_;
};

// The header values the reader checks but does not keep (version, gain, period, INL flag).
RunHeaderValues header_values(const fs::path& path) {
  RunHeaderValues v;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  char version[64] = {};
  if (std::getline(in, line))
    std::sscanf(line.c_str(), "=== DATA FILE SAVED WITH SOFTWARE VERSION: %63s ===", version);
  v.software_version = version;
  if (std::getline(in, line))
    std::sscanf(line.c_str(),
                "=== CAEN DIGITIZER BOARD TYPE x743 WITH %d CHANNELS AND GAIN: %f ===",
                &v.board_channels, &v.gain);
  if (std::getline(in, line)) {
    const std::size_t at = line.find(kEdgeTimingLabel);
    if (at != std::string::npos) {
      const std::size_t from = at + std::string_view(kEdgeTimingLabel).size();
      v.edge_timing = line.substr(from, line.find(' ', from) - from);
    }
  }
  if (std::getline(in, line))
    std::sscanf(line.c_str(),
                "=== DATA SAMPLES [%d] in Volts == NB OF CHANNELS ACQUIRED: %d == Sampling "
                "Period: %f ps == INL Correction: %1d ===",
                &v.samples, &v.channels_acquired, &v.sampling_period_ps, &v.inl_correction);
  return v;
}

// Where the reader stands in the series, in bytes of the data files.
std::uint64_t bytes_done(const RunState& st, const RunOutput& output,
                         const std::vector<std::uint64_t>& sizes) {
  const auto index = static_cast<std::size_t>(std::max(st.run.ReadingFileIndex - 1, 0));
  std::uint64_t done = 0;
  for (std::size_t i = 0; i < index && i < sizes.size(); ++i) done += sizes[i];
  const InputFile& in = output.files.input;
  if (in.fd.valid()) {
    const off_t at = ::lseek(in.fd.get(), 0, SEEK_CUR);
    if (at >= 0) done += static_cast<std::uint64_t>(at) - (in.end - in.pos);
  }
  return done;
}

// Any of the five values stored with a channel record of the current event is non-zero:
// the run was saved with its measurements (they are written as zeros otherwise).
bool carries_measurements(const DecodedEvent& event, const std::vector<int>& channels) {
  for (int ch : channels) {
    const StoredMeasurement& m = event.StoredMeasurements[ch / 2][ch % 2];
    if (m.baseline != 0.0f || m.amplitude != 0.0f || m.charge != 0.0f || m.leading_edge != 0.0 ||
        m.trailing_edge != 0.0)
      return true;
  }
  return false;
}

class Export {
 public:
  explicit Export(const ExportRequest& request)
      : request_(request),
        ui_(request),
        pool_(1),
        st_(std::make_unique<State>(ui_, clock_, pool_)) {
    st_->log.file = "/dev/null";  // the caller gets the messages
  }
  ~Export() { Close_FileForLoadingData(*st_, *st_); }

  ExportResult run(const fs::path& temporary);

 private:
  bool read_next();
  bool fail(ExportResult& result, std::string text) {
    result.error = std::move(text);
    return false;
  }
  bool open(ExportResult& result);
  bool first_event(ExportResult& result, Hdf5RunLayout& layout);
  bool take_measurement_file_event(ExportResult& result);

  const ExportRequest& request_;
  ExportFrontEnd ui_;
  SystemClock clock_;
  ThreadPool pool_;
  std::unique_ptr<State> st_;
  MeasurementFileReader measurement_file_;
  std::vector<std::uint64_t> sizes_;  // of the series' files
  bool from_measurement_file_ = false;
};

// One more event from the series, continuing into the next file when one ends.
bool Export::read_next() {
  State& st = *st_;
  if (Read_EventsFromFile(st)) return true;
  if (!ui_.error.empty()) return false;
  return Load_EventFromNextFile(st);
}

bool Export::open(ExportResult& result) {
  State& st = *st_;
  const Status opened = Open_DataFileForLoading(st, request_.run_file);
  st.files.SkipMissingFiles = request_.skip_missing;
  if (opened != kDone) {
    return fail(result, !ui_.error.empty() ? ui_.error
                                           : "The file '" + request_.run_file.string() +
                                                 "' comes from another software version; "
                                                 "the export was declined.");
  }
  // A file of spectra is refused by the reader itself, with its reason.
  return true;
}

bool Export::first_event(ExportResult& result, Hdf5RunLayout& layout) {
  State& st = *st_;
  if (!read_next())
    return fail(result, !ui_.error.empty()
                            ? ui_.error
                            : "The file '" + request_.run_file.string() + "' holds no event.");
  layout.binary = st.acq.DataFileType == 1;
  layout.samples = st.acq.NbOfSamplesInFile;
  std::array<bool, kMaxChannels> in_file{};
  for (const int ch : st.files.ReplayChannels) in_file[static_cast<std::size_t>(ch)] = true;
  for (int ch = 0; ch < kMaxChannels; ++ch)
    if (in_file[static_cast<std::size_t>(ch)]) layout.channels.push_back(ch);
  if (static_cast<int>(layout.channels.size()) != st.acq.NbOfChannelsAcquiredInFile)
    return fail(result, "The events of '" + request_.run_file.string() +
                            "' repeat a channel: the file is damaged.");
  layout.header = header_values(request_.run_file);
  layout.source_file = request_.run_file.filename().string();
  layout.deflate_level = std::clamp(request_.deflate_level, 0, kMaxExportDeflateLevel);
  if (carries_measurements(st.event, layout.channels)) {
    layout.measurements = true;
    layout.measurement_source = "data file";
  } else if (measurement_file_.open(request_.run_file)) {
    layout.measurements = from_measurement_file_ = true;
    layout.measurement_source = measurement_file_.path().filename().string();
  }
  return true;
}

bool Export::take_measurement_file_event(ExportResult& result) {
  if (!from_measurement_file_ || measurement_file_.read_event(st_->event, st_->EventNumber.load()))
    return true;
  return fail(result, reading_error_message(measurement_file_.path().string(),
                                            "it has no readable measurements for event " +
                                                std::to_string(st_->EventNumber.load())));
}

ExportResult Export::run(const fs::path& temporary) {
  ExportResult result;
  Hdf5RunLayout layout;
  if (!open(result) || !first_event(result, layout)) return result;
  result.channels = static_cast<int>(layout.channels.size());
  result.measurements = layout.measurements;

  ExportProgress progress;
  // By file number, 0 for a file missing from the series (skipped when asked to).
  const fs::path& first = request_.run_file;
  for (std::optional<int> i = 0; i; i = Next_SeriesFile(first, *i + 1)) {
    std::error_code ec;
    const auto size = fs::file_size(*i == 0 ? first : continuation_name(first, *i), ec);
    sizes_.resize(static_cast<std::size_t>(*i) + 1, 0);
    sizes_.back() = ec ? 0 : size;
    progress.bytes_total += sizes_.back();
  }
  // Every sample of every channel takes at least one byte of the files.
  if (const std::uint64_t per_event = layout.channels.size() * std::max(layout.samples, 0))
    layout.events_at_most = progress.bytes_total / per_event + 1;
  try {
    const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    ThreadPool compression(static_cast<std::size_t>(threads));
    Hdf5RunFile out(temporary, layout, compression, threads);
    do {
      if (!take_measurement_file_event(result)) return result;
      out.append(*st_);
      if (out.events() % static_cast<std::uint64_t>(out.batch_events()) == 0 && request_.progress) {
        progress.events = out.events();
        progress.bytes_done = bytes_done(*st_, *st_, sizes_);
        if (!request_.progress(progress)) {
          result.error = "The export was cancelled.";
          return result;
        }
      }
    } while (read_next());
    if (!ui_.error.empty()) {
      result.error = ui_.error;
      // Damage ends the series there: the whole events before it are what the run holds.
      if (!st_->files.Damaged) return result;
      result.stopped_at_damage = true;
    }
    out.finish();
    result.events = out.events();
    result.last_event = st_->EventNumber.load();
  } catch (const std::exception& e) {  // HDF5, compression or memory
    result.error = "Error while writing file '" + request_.output.string() + "': " + e.what() + ".";
    return result;
  }
  if (request_.progress) {
    progress.events = result.events;
    progress.bytes_done = progress.bytes_total;
    request_.progress(progress);
  }
  result.ok = true;
  return result;
}

}  // namespace

std::vector<fs::path> Run_SeriesFiles(const fs::path& first) {
  std::vector<fs::path> files{first};
  for (int i = 1;; ++i) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "_%04d", i);
    fs::path next(first.string() + suffix);
    std::error_code ec;
    if (!fs::is_regular_file(next, ec)) break;
    files.push_back(std::move(next));
  }
  return files;
}

bool Run_ReadsFile(const fs::path& run_file, const fs::path& file) {
  auto inputs = Run_SeriesFiles(run_file);
  inputs.push_back(MeasurementFileReader::path_for(run_file));
  std::error_code ec;
  return std::any_of(inputs.begin(), inputs.end(),
                     [&](const fs::path& input) { return fs::equivalent(input, file, ec); });
}

ExportResult Export_RunToHdf5(const ExportRequest& request) {
  std::error_code ec;
  if (Run_ReadsFile(request.run_file, request.output)) {
    ExportResult r;
    r.error = "The file '" + request.output.string() +
              "' belongs to the run being exported: give another output file.";
    return r;
  }
  if (!request.overwrite && fs::exists(request.output, ec)) {
    ExportResult r;
    r.error = "The file '" + request.output.string() + "' already exists.";
    return r;
  }
  const fs::path temporary = request.output.string() + ".partial";
  ExportResult result = Export(request).run(temporary);
  if (result.ok) {
    fs::rename(temporary, request.output, ec);
    if (ec) {
      result.ok = false;
      result.error =
          "Error while creating file '" + request.output.string() + "': " + ec.message() + ".";
    }
  }
  if (!result.ok) fs::remove(temporary, ec);
  return result;
}

}  // namespace vx
