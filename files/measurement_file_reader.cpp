#include "files/measurement_file_reader.h"

#include <cstdio>

namespace vx {

namespace {

bool starts_with(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

}  // namespace

std::filesystem::path MeasurementFileReader::path_for(
    const std::filesystem::path& first_data_file) {
  return first_data_file.parent_path() / ("measurements_" + first_data_file.filename().string());
}

bool MeasurementFileReader::open(const std::filesystem::path& first_data_file) {
  path_ = path_for(first_data_file);
  in_.open(path_, std::ios::binary);
  have_line_ = false;
  return in_.is_open();
}

bool MeasurementFileReader::next_line() {
  if (have_line_) return true;
  have_line_ = static_cast<bool>(std::getline(in_, line_));
  return have_line_;
}

bool MeasurementFileReader::read_event(DecodedEvent& event, int event_number) {
  int number = 0;
  for (;;) {
    // Header lines come again each time the run opened a new split data file.
    while (next_line() && starts_with(line_, "===") && !starts_with(line_, "=== Event "))
      have_line_ = false;
    if (!have_line_ || std::sscanf(line_.c_str(), "=== Event %d UnixTime", &number) != 1)
      return false;
    if (number >= event_number) break;
    // An event of a data file skipped as missing: its block is passed over.
    have_line_ = false;
    while (next_line() && !starts_with(line_, "===")) have_line_ = false;
  }
  if (number != event_number) return false;
  have_line_ = false;
  while (next_line() && !starts_with(line_, "===")) {
    have_line_ = false;
    int ch = -1;
    StoredMeasurement m;
    if (std::sscanf(line_.c_str(), "%d %f %f %f %lf %lf", &ch, &m.baseline, &m.amplitude, &m.charge,
                    &m.leading_edge, &m.trailing_edge) != 6 ||
        ch < 0 || ch >= kMaxChannels)
      return false;
    event.StoredMeasurements[ch / 2][ch % 2] = m;
  }
  return true;
}

}  // namespace vx
