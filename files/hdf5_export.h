// Exporting a saved run (ASCII or binary, a whole split series, its measurements and its
// measurement file) into one HDF5 file, through the run-file reader. It runs on a private
// core state, so the desktop application can export on a worker thread while it acquires.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vx {

struct ExportProgress {
  std::uint64_t events = 0;
  std::uint64_t bytes_done = 0;   // of the run's data files
  std::uint64_t bytes_total = 0;  // sizes of every file of the series
};

// Deflate level of the samples and tables: 1 (fastest) to 9, or 0 for none.
inline constexpr int kDefaultExportDeflateLevel = 1;
inline constexpr int kMaxExportDeflateLevel = 9;

struct ExportRequest {
  std::filesystem::path run_file;  // the first file of the series
  std::filesystem::path output;
  bool overwrite = false;
  int deflate_level = kDefaultExportDeflateLevel;
  // The answer to the reader's question about a file from another software version.
  bool accept_other_version = false;
  // A file missing in the middle of the series is skipped (with a warning saying what it
  // cost) instead of failing the export.
  bool skip_missing = false;
  // Called as the export goes on; false cancels it.
  std::function<bool(const ExportProgress&)> progress;
  // The reader's messages (kind 0 information, 1 warning, 2 error), without time prefix.
  std::function<void(const std::string& text, int kind)> message;
};

struct ExportResult {
  bool ok = false;
  std::uint64_t events = 0;
  int last_event = 0;  // number of the last event exported
  int channels = 0;
  bool measurements = false;
  // ok, yet the series is damaged (an event unreadable, or one that disagrees with its
  // file's header): the output holds the whole events before the damage, error says where.
  bool stopped_at_damage = false;
  std::string error;  // why it failed (the output file is then not there), or where it stopped
};

// Writes the output under a temporary name beside it and renames it into place only when
// the run was read to its end, or to damage in it, and written; any failure removes it.
ExportResult Export_RunToHdf5(const ExportRequest& request);

// The files of a run series in order: the first file, then _0001, _0002… while they exist.
std::vector<std::filesystem::path> Run_SeriesFiles(const std::filesystem::path& first);
// True when file is one the export of that run reads (a data file of its series, or its
// measurement file): writing the export there would destroy the run.
bool Run_ReadsFile(const std::filesystem::path& run_file, const std::filesystem::path& file);

}  // namespace vx
