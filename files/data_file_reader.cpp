#include "files/data_file_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/message_log.h"
#include "app/messages.h"
#include "app/parameters.h"
#include "app/record_loan.h"
#include "app/run_from_file.h"
#include "digitizer/board_configuration.h"
#include "files/input_file.h"
#include "files/quoted_text.h"
#include "files/record_format.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kHeaderLineMax = 1024;
constexpr std::size_t kSampleLineMax = 16384;

std::string without_line_end(const std::string& line) {
  std::size_t n = line.size();
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
  return line.substr(0, n);
}

void tell_line(FrontEndLinks& st, const std::string& line) {
  Write_InfoMessage(st, Escaped_FileText(without_line_end(line), 300) + "\n", kInfo);
}

std::string quoted_line(const std::string& line) {
  return "'" + Escaped_FileText(without_line_end(line)) + "'";
}

// The header is refused: the file, and what in it is wrong.
Status refuse_header(RunOutput& st, RunState& run_state, MessageLog& log, const std::string& why) {
  Write_InfoMessage(log, reading_error_message(st.files.ReadingFilePath.string(), why) + "\n",
                    kError);
  Close_FileForLoadingData(run_state, st);
  return kFailed;
}

std::string event_after_last(const RunState& st, const RunOutput& output) {
  char text[64] = "the first event";
  if (output.files.WholeEventsRead > 0)
    std::snprintf(text, sizeof text, "the event after event %d", st.EventNumber.load());
  return text;
}

// A line was there but not the event it should hold. The event record keeps the number of
// the last whole event read.
int damaged_event(RunOutput& st, RunState& run_state, MessageLog& log,
                  const char* what = "is incomplete or damaged") {
  st.files.Damaged = true;
  Write_InfoMessage(log,
                    reading_error_message(st.files.ReadingFilePath.string(),
                                          event_after_last(run_state, st) + " " + what) +
                        "\n",
                    kError);
  return 0;
}

// An event that disagrees with the file's header, told with the event and the field. The
// events before it are whole; the replay ends there.
int mismatched_event(RunOutput& st, MessageLog& log, const std::string& what) {
  st.files.Damaged = true;
  Write_InfoMessage(log, reading_error_message(st.files.ReadingFilePath.string(), what) + "\n",
                    kError);
  return 0;
}

// The file ends inside an event: what a run cut short by a crash or a kill leaves behind.
// The whole events before it are the data; whether the series may end here is decided
// when the next file is looked for.
int cut_event(RunOutput& st, RunState& run_state, MessageLog& log) {
  st.files.CutShort = true;
  std::string last = "no whole event";
  if (st.files.WholeEventsRead > 0)
    last = "the last whole event is event " + std::to_string(run_state.EventNumber.load());
  Write_InfoMessage(log,
                    "File '" + st.files.ReadingFilePath.string() + "' ends inside " +
                        event_after_last(run_state, st) + ": the run was cut short there, " + last +
                        ".\n",
                    kWarning);
  return 0;
}

// A line that could not be read as what it should be: cut short when it is the file's
// unfinished last line, damaged otherwise.
int bad_line(RunOutput& st, RunState& run_state, MessageLog& log, const std::string& line) {
  const bool unfinished = line.empty() || line.back() != '\n';
  return unfinished && input_at_end(st.files.input) ? cut_event(st, run_state, log)
                                                    : damaged_event(st, run_state, log);
}

// The event is whole: its number becomes the event record's.
int whole_event(RunState& st, RunOutput& output, int event_number) {
  st.EventNumber.store(event_number);
  output.files.WholeEventsRead += 1;
  return 1;
}

bool valid_channel(int ch) {
  return ch >= 0 && ch < kMaxChannels;
}

void restore_tdc(DecodedEvent& event, std::uint64_t tdc) {
  // The file keeps one time stamp per event; every block was stamped by the same trigger.
  event.EventTDC.fill(tdc);
}

// Record `index` of an event holds channel ch: in the series' first event the channel joins
// the file's channels; in every later one it must be the channel the first event held there.
bool expected_channel(RunOutput& st, int index, int ch) {
  FileData& files = st.files;
  if (files.ReplayFirstEvent) {
    if (index == 0) files.ReplayChannels.clear();
    files.ReplayChannels.push_back(ch);
    return true;
  }
  return index < static_cast<int>(files.ReplayChannels.size()) &&
         files.ReplayChannels[static_cast<std::size_t>(index)] == ch;
}

int unexpected_channel(RunOutput& st, MessageLog& log, int event_number, int index, int ch) {
  const std::vector<int>& channels = st.files.ReplayChannels;
  std::string expected = "none";
  if (index < static_cast<int>(channels.size()))
    expected = "channel " + std::to_string(channels[static_cast<std::size_t>(index)]);
  return mismatched_event(st, log,
                          "event " + std::to_string(event_number) + "'s channel record " +
                              std::to_string(index + 1) + " holds channel " + std::to_string(ch) +
                              " where the file's first event has " + expected + " there");
}

std::string samples_mismatch(int event_number, int samples, int header_samples) {
  return "event " + std::to_string(event_number) + " has " + std::to_string(samples) +
         " samples where the file's header says " + std::to_string(header_samples);
}

// The series' channels are known once its first event is read (by a run's loop, or an
// offline reader on a state of its own): the records, which the user-interface thread owns,
// show them from its task.
void first_event_done(RunOutput& st, Settings& settings, FrontEndLinks& links) {
  if (!st.files.ReplayFirstEvent) return;
  st.files.ReplayFirstEvent = false;
  links.ui.post([&settings, &links, channels = st.files.ReplayChannels] {
    if (Records_Lent(settings)) return;
    for (const int ch : channels) settings.gui.ChannelEnabled[ch] = 1;
    links.ui.refresh_panel(Panel::Main);
  });
}

int samples_in_file(const FileData& files) {
  return std::clamp(files.ReplaySamples, 0, kMaxSamples);
}

int channels_in_event(const FileData& files) {
  return std::clamp(files.ReplayChannelsAcquired, 0, kMaxChannels);
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

const char* skip_space(const char* p, const char* end) {
  while (p < end && is_space(*p)) ++p;
  return p;
}

// One number at p (after white space) and the white space or line end that closes it.
// False when there is none, or when it is no sample: a value beyond what a float holds.
bool parse_volts(const char*& p, const char* end, float& counts) {
  p = skip_space(p, end);
  if (p < end && *p == '+') ++p;
  double volts = 0.0;
  const auto r = std::from_chars(p, end, volts);
  if (r.ec != std::errc() || (r.ptr < end && !is_space(*r.ptr))) return false;
  const double value = volts / kVoltsPerAdcCount;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) return false;
  counts = static_cast<float>(value);
  p = r.ptr;
  return true;
}

// The samples of a line, as many as the header says; returns how many the line holds, or
// -1 when something on it is no sample.
int parse_sample_line(RunState& st, RunOutput& output, const std::string& line, int b, int c) {
  auto& ordered = st.event.FullyOrderedValues[b][c];
  const char* p = line.data();
  const char* end = p + line.size();
  const int n = samples_in_file(output.files);
  int k = 0;
  for (; skip_space(p, end) != end; ++k) {
    float v = 0.0f;
    if (!parse_volts(p, end, v)) return -1;
    if (k < n) ordered[k] = v;
  }
  return k;
}

bool is_event_line(const std::string& line, int& event_number) {
  return std::sscanf(line.c_str(), "=== EVENT %d ===", &event_number) == 1;
}

bool is_channel_line(const std::string& line) {
  int ch = 0;
  return std::sscanf(line.c_str(), "=== CH: %d ", &ch) == 1;
}

std::string fewer_channel_records(const FileData& files, int event_number, int records) {
  return "event " + std::to_string(event_number) + " holds " + std::to_string(records) +
         (records == 1 ? " channel record" : " channel records") +
         " where the file's header says " + std::to_string(channels_in_event(files));
}

std::string more_channel_records(const FileData& files, int event_number) {
  return "event " + std::to_string(event_number) + " holds more channel records than the " +
         std::to_string(channels_in_event(files)) + " the file's header says";
}

int read_ascii_event(State& st) {
  FileData& files = st.files;
  std::string& line = files.line;
  if (!read_line(files.input, line, kHeaderLineMax)) return 0;
  int event_number = 0;
  if (!is_event_line(line, event_number)) {
    if (files.WholeEventsRead > 0 && is_channel_line(line))
      return mismatched_event(st, st.log, more_channel_records(st.files, st.EventNumber.load()));
    return bad_line(st, st, st.log, line);
  }

  if (!read_line(files.input, line, kHeaderLineMax)) return cut_event(st, st, st.log);
  RunData& r = st.run;
  double epoch = 0.0;
  int year, month, day, hour, minute, second, ms;
  unsigned long long tdc = 0;
  char chain[24] = {};
  if (std::sscanf(line.c_str(),
                  "=== UnixTime = %lf date = %d.%d.%d time = %dh.%dm.%ds.%dms == TDC From FPGA = "
                  "%llu == TDC "
                  "Corrected = %23s ===",
                  &epoch, &year, &month, &day, &hour, &minute, &second, &ms, &tdc, chain) != 10) {
    return bad_line(st, st, st.log, line);
  }
  r.EpochTime = epoch;
  r.Year = year;
  r.Month = month;
  r.Day = day;
  r.Hour = hour;
  r.Minute = minute;
  r.Second = second;
  r.Millisecond = ms;
  restore_tdc(st.event, tdc);
  std::memcpy(st.event.EventTimeChain.data(), chain, sizeof chain);

  std::array<bool, kMaxChannels> seen{};
  for (int i = 0; i < channels_in_event(st.files); ++i) {
    if (!read_line(files.input, line, kHeaderLineMax)) return cut_event(st, st, st.log);
    int ch = -1, id = 0, fcr = 0, trig = 0, time = 0;
    float f[3];
    double edges[2];  // ns from the start of the run: beyond a float's precision
    if (std::sscanf(
            line.c_str(),
            "=== CH: %d EVENTID: %d FCR: %d Baseline: %f V Amplitude: %f V Charge: %f pC "
            "LeadingEdgeTime: %lf ns TrailingEdgeTime: %lf ns TrigCount: %d TimeCount %d ===",
            &ch, &id, &fcr, &f[0], &f[1], &f[2], &edges[0], &edges[1], &trig, &time) != 10 ||
        !valid_channel(ch)) {
      if (int next = 0; is_event_line(line, next))
        return mismatched_event(st, st.log, fewer_channel_records(st.files, event_number, i));
      return bad_line(st, st, st.log, line);
    }
    if (seen[ch]) return damaged_event(st, st, st.log, "holds a channel twice");
    seen[ch] = true;
    if (!expected_channel(st, i, ch)) return unexpected_channel(st, st.log, event_number, i, ch);
    const int b = ch / 2, c = ch % 2;
    st.event.EventID[b] = static_cast<std::uint32_t>(id);
    st.event.EventFCR[b] = static_cast<std::uint32_t>(fcr);
    st.event.TrigCount[b][c] = static_cast<std::uint16_t>(trig);
    st.event.TimeCount[b][c] = static_cast<std::uint16_t>(time);
    st.event.StoredMeasurements[b][c] = {f[0], f[1], f[2], edges[0], edges[1]};
    std::fill(st.event.FullyOrderedValues[b][c].begin() + 1,
              st.event.FullyOrderedValues[b][c].end(), 0.0f);
    do {
      if (!read_line(files.input, line, kSampleLineMax)) return cut_event(st, st, st.log);
    } while (line.find('=') != std::string::npos);
    // A last value cut short could still read as a number.
    if (line.back() != '\n' && input_at_end(files.input)) return cut_event(st, st, st.log);
    const int samples = parse_sample_line(st, st, line, b, c);
    if (samples < 0) return bad_line(st, st, st.log, line);
    if (samples != samples_in_file(st.files))
      return mismatched_event(st, st.log,
                              samples_mismatch(event_number, samples, samples_in_file(st.files)) +
                                  " (channel " + std::to_string(ch) + ")");
  }
  first_event_done(st, st, st);
  return whole_event(st, st, event_number);
}

template <typename T>
T take(const unsigned char*& p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  p += sizeof v;
  return v;
}

// How well a sample count other than the header's lays out the event read: the later
// channel records each hold the channel the file's first event has there, and the next
// event's header follows, numbered from this one on and stamped within a day of it. The
// number of those checks made, or -1 when one fails.
int layout_fits(const RunOutput& st, const RunState& run_state, std::size_t got, int samples,
                std::int32_t event_number) {
  const std::vector<int>& channels = st.files.ReplayChannels;
  const unsigned char* records = st.files.records.data();
  const std::size_t stride = kBinaryChannelHeaderSize + 2 * static_cast<std::size_t>(samples);
  int checked = 0;
  for (std::size_t i = 1; i < channels.size() && i * stride + 4 <= got; ++i, ++checked) {
    std::int32_t ch = 0;
    std::memcpy(&ch, records + i * stride, sizeof ch);
    if (ch != channels[i]) return -1;
  }
  const std::size_t next = channels.size() * stride;
  if (next + 12 <= got) {
    std::int32_t number = 0;
    double epoch = 0.0;
    std::memcpy(&number, records + next, sizeof number);
    std::memcpy(&epoch, records + next + 4, sizeof epoch);
    if (number < event_number || !(std::fabs(epoch - run_state.run.EpochTime) < 86400.0)) return -1;
    ++checked;
  }
  return checked;
}

// The sample count, other than the header's, that lays out the event read best; none when
// no count passes a check, or two pass as many.
std::optional<int> samples_laid_out(const RunOutput& st, const RunState& run_state, std::size_t got,
                                    std::int32_t event_number) {
  std::optional<int> found;
  int best = 0;
  bool tied = false;
  for (int k = 1; k <= kMaxSamples; ++k) {
    if (k == samples_in_file(st.files)) continue;
    const int checks = layout_fits(st, run_state, got, k, event_number);
    if (checks > best) {
      best = checks;
      found = k;
      tied = false;
    } else if (checks == best && best > 0) {
      tied = true;
    }
  }
  return tied ? std::nullopt : found;
}

// A binary record does not say its length: a record whose channel is not the one expected
// there is told with the sample count that explains it, when the bytes read show one.
int binary_layout_mismatch(RunOutput& st, RunState& run_state, MessageLog& log, int event_number,
                           int index, int ch, std::size_t got) {
  if (const auto samples = samples_laid_out(st, run_state, got, event_number))
    return mismatched_event(st, log,
                            samples_mismatch(event_number, *samples, samples_in_file(st.files)));
  return unexpected_channel(st, log, event_number, index, ch);
}

int read_binary_event(State& st) {
  InputFile& in = st.files.input;
  unsigned char head[kBinaryEventHeaderSize];
  static_assert(kBinaryEventHeaderSize == 4 + 8 + 6 * 4 + 4 + 8 + 23);
  const std::size_t got = read_bytes(in, head, sizeof head);
  if (got == 0) return 0;
  if (got != sizeof head) return cut_event(st, st, st.log);
  const unsigned char* p = head;
  RunData& r = st.run;
  const auto event_number = take<std::int32_t>(p);
  r.EpochTime = take<double>(p);
  r.Year = take<std::int32_t>(p);
  r.Month = take<std::int32_t>(p);
  r.Day = take<std::int32_t>(p);
  r.Hour = take<std::int32_t>(p);
  r.Minute = take<std::int32_t>(p);
  r.Second = take<std::int32_t>(p);
  r.Millisecond = take<std::uint32_t>(p);
  restore_tdc(st.event, take<std::uint64_t>(p));
  std::memcpy(st.event.EventTimeChain.data(), p, 23);
  st.event.EventTimeChain[23] = '\0';

  const int n = samples_in_file(st.files);
  const std::size_t record_size = kBinaryChannelHeaderSize + 2 * static_cast<std::size_t>(n);
  std::vector<unsigned char>& records = st.files.records;
  records.resize(record_size * static_cast<std::size_t>(channels_in_event(st.files)));
  const std::size_t records_got = read_bytes(in, records.data(), records.size());
  // Every record that begins in what was read must hold the channel the layout puts there.
  std::array<bool, kMaxChannels> seen{};
  for (int i = 0; i < channels_in_event(st.files); ++i) {
    const std::size_t at = static_cast<std::size_t>(i) * record_size;
    if (at + 4 > records_got) break;
    std::int32_t ch = 0;
    std::memcpy(&ch, records.data() + at, sizeof ch);
    if (!st.files.ReplayFirstEvent) {
      if (!expected_channel(st, i, ch))
        return binary_layout_mismatch(st, st, st.log, event_number, i, ch, records_got);
      continue;
    }
    if (!valid_channel(ch)) return damaged_event(st, st, st.log);
    if (seen[ch]) return damaged_event(st, st, st.log, "holds a channel twice");
    seen[ch] = true;
    expected_channel(st, i, ch);
  }
  if (records_got != records.size()) return cut_event(st, st, st.log);
  for (int i = 0; i < channels_in_event(st.files); ++i) {
    const unsigned char* q = records.data() + static_cast<std::size_t>(i) * record_size;
    const int ch = take<std::int32_t>(q);
    const int b = ch / 2, c = ch % 2;
    st.event.EventID[b] = static_cast<std::uint32_t>(take<std::int32_t>(q));
    st.event.EventFCR[b] = static_cast<std::uint32_t>(take<std::int32_t>(q));
    // Replayed events are measured again; the stored values are kept only for export.
    auto& stored = st.event.StoredMeasurements[b][c];
    stored.baseline = take<float>(q);
    stored.charge = take<float>(q);
    stored.leading_edge = take<double>(q);
    stored.trailing_edge = take<double>(q);
    stored.amplitude = take<float>(q);
    st.event.TrigCount[b][c] = static_cast<std::uint16_t>(take<std::int32_t>(q));
    st.event.TimeCount[b][c] = static_cast<std::uint16_t>(take<std::int32_t>(q));
    auto& ordered = st.event.FullyOrderedValues[b][c];
    for (int k = 0; k < n; ++k) ordered[k] = static_cast<float>(take<std::int16_t>(q) / 10.0);
  }
  first_event_done(st, st, st);
  return whole_event(st, st, event_number);
}

// The sampling frequencies (MHz) of the board and the periods (ps) that files give for them.
constexpr std::array<std::pair<int, double>, 4> kSamplingPeriods = {
    {{3200, 312.5}, {1600, 625.0}, {800, 1250.0}, {400, 2500.0}}};

// Frequency of a period written with one decimal; 0 for none of the board's periods.
int frequency_of_period(float period) {
  for (const auto& [mhz, ps] : kSamplingPeriods)
    if (std::fabs(period - ps) <= 0.05) return mhz;
  return 0;
}

// Line 4: what an event of the file holds.
struct DataLine {
  bool spectra = false;
  int samples = 0;
  int channels = 0;   // channel records per event
  int frequency = 0;  // MHz, waveforms only
  int inl = 0;        // the INL correction flag, waveforms only
};

std::string out_of_range(const char* what, double value, int lo, int hi) {
  char text[160];
  std::snprintf(text, sizeof text, "line 4: %s %g is out of range (%d to %d)", what, value, lo, hi);
  return text;
}

// Empty when the line gives an event layout to read by, else what is wrong with it.
std::string parse_data_line(const std::string& line, DataLine& out) {
  int samples = -1, channels = -1, inl = 0;
  float period = 0.0f;
  const int fields =
      std::sscanf(line.c_str(),
                  "=== DATA SAMPLES [%d] in Volts == NB OF CHANNELS ACQUIRED: %d == Sampling "
                  "Period: %f ps == INL Correction: %1d ===",
                  &samples, &channels, &period, &inl);
  if (fields >= 1) {
    out = {false, samples, channels, frequency_of_period(period), inl};
    // Every field is needed: a line cut short gives no event layout to read by.
    if (fields != 4)
      return "line 4 " + quoted_line(line) +
             " lacks the channel count, the sampling period or the INL flag";
    if (samples < 1 || samples > kMaxSamples)
      return out_of_range("the sample count", samples, 1, kMaxSamples);
    if (channels < 1 || channels > kMaxChannels)
      return out_of_range("the count of channels acquired", channels, 1, kMaxChannels);
    if (out.frequency == 0) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "line 4: the sampling period %.1f ps is none of the board's (312.5, 625.0, "
                    "1250.0 or 2500.0 ps)",
                    static_cast<double>(period));
      return text;
    }
    return {};
  }
  int values = 0;
  if (std::sscanf(
          line.c_str(),
          "=== FFT DATA [%d Values] normalized and in dB == NB OF CHANNELS ACQUIRED: %d ===",
          &values, &channels) == 2) {
    out = {true, values, channels, 0, 0};
    if (channels < 1 || channels > kMaxChannels)
      return out_of_range("the count of channels acquired", channels, 1, kMaxChannels);
    return {};
  }
  return "line 4 " + quoted_line(line) + " describes neither waveforms nor spectra";
}

void take_data_line(State& st, const std::string& line, const DataLine& d) {
  tell_line(st, line);
  st.acq.NbOfChannelsAcquiredInFile = d.channels;
  st.acq.NbOfSamplesInFile = d.samples;
  st.files.ReplayChannelsAcquired = d.channels;
  st.files.ReplaySamples = d.samples;
  Set_Frequency(st, d.frequency);
}

std::string version_of(const std::string& line) {
  char version[64] = {};
  std::sscanf(line.c_str(), "=== DATA FILE SAVED WITH SOFTWARE VERSION: %63s ===", version);
  return version;
}

// Empty when line 2 gives the board's channel count, else what is wrong with it.
std::string parse_board_line(const std::string& line, int& channels) {
  float gain = 0.0f;
  channels = 0;
  if (std::sscanf(line.c_str(),
                  "=== CAEN DIGITIZER BOARD TYPE x743 WITH %d CHANNELS AND GAIN: %f ===", &channels,
                  &gain) < 1)
    return "line 2 " + quoted_line(line) + " is not the board line";
  if (channels < 1 || channels > kMaxChannels) {
    return "line 2: the board's channel count " + std::to_string(channels) +
           " is out of range (1 to " + std::to_string(kMaxChannels) + ")";
  }
  return {};
}

std::string ends_after(int lines) {
  return "it ends after " + std::to_string(lines) + " of its 4 header lines";
}

Status read_header(State& st) {
  FileData& files = st.files;
  std::string& line = files.line;
  if (!read_line(files.input, line, kHeaderLineMax))
    return refuse_header(st, st, st.log, "the file is empty");
  files.ReplayVersion = version_of(line);
  if (files.ReplayVersion != kSoftwareVersion &&
      !st.ui.confirm(
          "WARNING",
          "File was saved with an older version of the software, do you want to continue?")) {
    Close_FileForLoadingData(st, st);
    return kNotDone;
  }
  Write_InfoMessage(st, "READ INFORMATION FROM FILE : \n", kInfo);
  tell_line(st, line);

  int channels = 0;
  if (!read_line(files.input, line, kHeaderLineMax))
    return refuse_header(st, st, st.log, ends_after(1));
  if (const std::string why = parse_board_line(line, channels); !why.empty())
    return refuse_header(st, st, st.log, why);
  st.acq.NbOfChannelsInFile = channels;
  files.ReplayBoardChannels = channels;
  tell_line(st, line);

  if (!read_line(files.input, line, kHeaderLineMax))
    return refuse_header(st, st, st.log, ends_after(2));
  tell_line(st, line);

  DataLine data;
  if (!read_line(files.input, line, kHeaderLineMax))
    return refuse_header(st, st, st.log, ends_after(3));
  if (const std::string why = parse_data_line(line, data); !why.empty())
    return refuse_header(st, st, st.log, why);
  if (data.spectra) {
    Write_InfoMessage(st,
                      "Error : File '" + files.ReadingFilePath.string() +
                          "' holds FFT spectra, not waveforms: it cannot be replayed.\n",
                      kError);
    Close_FileForLoadingData(st, st);
    return kFailed;
  }
  take_data_line(st, line, data);
  files.ReplayDataLine = line;
  for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 0;
  return kDone;
}

std::string differs(const char* field, double value, double first) {
  char text[160];
  std::snprintf(text, sizeof text, "it gives %g %s where the series' first file gives %g", value,
                field, first);
  return text;
}

// A continuation file's header must be that of a file of the same run: same version, same
// board and the same event layout as the first file. Empty when it is, else what differs.
// The lines read are counted, so that a file cut short inside its header can be told from
// one of another run.
std::string continuation_header_differs(RunOutput& st, int& lines) {
  FileData& files = st.files;
  std::string& line = files.line;
  lines = 0;
  const auto next = [&] {
    if (!read_line(files.input, line, kHeaderLineMax)) return false;
    lines += line.back() == '\n' ? 1 : 0;
    return true;
  };
  const std::string unreadable = "its header is not that of the series' first file";
  if (!next()) return unreadable;
  if (version_of(line) != files.ReplayVersion)
    return "it was saved by version '" + version_of(line) + "', the series' first file by '" +
           files.ReplayVersion + "'";
  int channels = 0;
  if (!next() || !parse_board_line(line, channels).empty()) return unreadable;
  if (channels != files.ReplayBoardChannels)
    return differs("board channels", channels, files.ReplayBoardChannels);
  DataLine data, first;
  if (!next() || !next() || !parse_data_line(line, data).empty() || data.spectra) return unreadable;
  parse_data_line(files.ReplayDataLine, first);
  if (data.samples != first.samples) return differs("samples", data.samples, first.samples);
  if (data.channels != first.channels)
    return differs("channels acquired", data.channels, first.channels);
  if (data.frequency != first.frequency)
    return differs("MS/s sampling", data.frequency, first.frequency);
  if (data.inl != first.inl) return differs("as its INL correction flag", data.inl, first.inl);
  return {};
}

}  // namespace

fs::path continuation_name(const fs::path& first, int index) {
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "_%04d", index);
  return fs::path(first.string() + suffix);
}

Status Open_FileForLoadingData(State& st) {
  st.ui.popup(PopupKind::Information, "Info", "Please select a file to load Data.");
  FileDialogRequest request;
  request.title = "Name of File to Read";
  request.initial_directory = std::string(st.acq.DataDirectory, text_length(st.acq.DataDirectory));
  request.default_name = "*";
  request.filter = "*";
  const auto chosen = st.ui.select_file(request);
  if (!chosen || chosen->empty()) {
    Write_InfoMessage(st, "Error while opening file for reading Data!\n", kError);
    return kFailed;
  }
  return Open_DataFileForLoading(st, *chosen);
}

Status Open_DataFileForLoading(State& st, const fs::path& path) {
  Close_FileForLoadingData(st, st);
  const std::string name = path.filename().string();
  const std::size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  if (extension != ".bin" && extension != ".dat") {
    Write_InfoMessage(st,
                      "Invalid file for loading data! '" + path.string() +
                          "': the first file of a run ends in .dat or .bin.\n",
                      kError);
    return kFailed;
  }
  FileData& files = st.files;
  if (!open_input(files.input, path)) {
    Write_InfoMessage(st,
                      "Error while opening file for reading data! '" + path.string() +
                          "': " + files.input.error_text + ".\n",
                      kError);
    return kFailed;
  }
  st.acq.DataFileType = extension == ".bin" ? 1 : 0;
  files.ReplayBinary = extension == ".bin";
  files.FileForReadingData = path;
  files.ReadingFilePath = path;
  st.ReplayFileName = path.string();
  st.run.ReplayFileOpen = true;
  st.run.ReadingFileIndex = 1;
  files.WholeEventsRead = 0;
  files.CutShort = files.Damaged = false;
  files.EventBeforeGap = -1;
  files.MissingFiles.clear();
  const Status accepted = read_header(st);
  files.ReplayFirstEvent = accepted == kDone;
  return accepted;
}

bool Read_EventsFromFile(State& st) {
  if (!input_is_open(st.files.input)) return false;
  return (st.files.ReplayBinary ? read_binary_event(st) : read_ascii_event(st)) == 1;
}

void Close_FileForLoadingData(RunState& st, RunOutput& output) {
  close_input(output.files.input);
  st.run.ReplayFileOpen = false;
}

std::optional<int> Next_SeriesFile(const fs::path& first, int index) {
  std::error_code ec;
  if (fs::exists(continuation_name(first, index), ec)) return index;
  // Not there: the series ends, unless a later file shows a gap.
  const std::string prefix = first.filename().string() + "_";
  std::optional<int> next;
  const fs::path dir = first.has_parent_path() ? first.parent_path() : fs::path(".");
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix)) continue;
    const std::string digits = name.substr(prefix.size());
    // "%04d" numbers: at least four digits, and no more than an int holds.
    if (digits.size() < 4 || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const int n = std::stoi(digits);
    // The name this number is written as ("_00012" is not file 12's).
    if (n > index && (!next || n < *next) &&
        continuation_name(first, n).filename() == entry.path().filename())
      next = n;
  }
  return next;
}

namespace {

void end_of_series(State& st) {
  st.StopRequest().store(1);
  const FileData& files = st.files;
  std::string text =
      "End of the saved run: " + std::to_string(files.WholeEventsRead) + " events read";
  if (files.WholeEventsRead > 0)
    text += ", the last whole event is event " + std::to_string(st.EventNumber.load());
  Write_InfoMessage(st, text + ".\n", kInfo);
}

int stop_with_error(Settings& st, MessageLog& log, const std::string& text) {
  Write_InfoMessage(log, text, kError);
  st.StopRequest().store(1);
  return 0;
}

// The names of the files from..to - 1 of the series, for the messages about a gap.
std::string file_names(const FileData& files, int from, int to) {
  const fs::path first = files.FileForReadingData;
  std::string names = "'" + continuation_name(first, from).string() + "'";
  if (to - from > 1) names += " to '" + continuation_name(first, to - 1).string() + "'";
  return names;
}

// After the first event past skipped files: what the gap cost.
void tell_gap(RunState& st, RunOutput& output, MessageLog& log) {
  FileData& files = output.files;
  if (files.EventBeforeGap < 0) return;
  const int after = st.EventNumber.load();
  std::string cost = "an unknown number of events";
  if (after > files.EventBeforeGap) {
    const int lost = after - files.EventBeforeGap - 1;
    cost = std::to_string(lost) + " events";
    if (lost > 0)
      cost += " (events " + std::to_string(files.EventBeforeGap + 1) + " to " +
              std::to_string(after - 1) + ")";
  }
  Write_InfoMessage(log,
                    "Missing file " + files.MissingFiles + " skipped: the gap cost " + cost + ".\n",
                    kWarning);
  files.EventBeforeGap = -1;
  files.MissingFiles.clear();
}

// Moves on to the next file of the series: 1 = an event was read, 0 = the replay ends
// (at the end of the series or with an error), 2 = the file holds no event: go on.
int open_next_file(State& st) {
  FileData& files = st.files;
  const bool cut_short = files.CutShort;
  Write_InfoMessage(st, "Reached End of File '" + files.ReadingFilePath.string() + "'\n", kInfo);
  Close_FileForLoadingData(st, st);
  if (files.Damaged) return 0;  // told already: the replay ends there
  const fs::path first = files.FileForReadingData;
  const int expected = st.run.ReadingFileIndex;
  const std::optional<int> index = Next_SeriesFile(first, expected);
  if (!index) {
    end_of_series(st);
    return 0;
  }
  const fs::path next = continuation_name(first, *index);
  if (cut_short) {
    return stop_with_error(
        st, st.log,
        reading_error_message(
            files.ReadingFilePath.string(),
            "it ends inside an event, yet the series goes on with '" + next.string() + "'") +
            "\n");
  }
  if (*index != expected) {
    const std::string missing = file_names(st.files, expected, *index);
    if (!files.SkipMissingFiles) {
      return stop_with_error(st, st.log,
                             "Error while reading the series of '" + first.string() + "': file " +
                                 missing + " is missing, yet the series goes on with '" +
                                 next.string() + "'. The replay stops at the gap, after event " +
                                 std::to_string(st.EventNumber.load()) +
                                 " (--skip-missing reads on).\n");
    }
    if (files.EventBeforeGap < 0) files.EventBeforeGap = st.EventNumber.load();
    files.MissingFiles += files.MissingFiles.empty() ? missing : ", " + missing;
  }
  st.run.ReadingFileIndex = *index + 1;
  files.ReadingFilePath = next;
  files.CutShort = files.Damaged = false;
  if (!open_input(files.input, next)) {
    return stop_with_error(st, st.log,
                           "Error while opening file for reading data! '" + next.string() +
                               "': " + files.input.error_text + ".\n");
  }
  st.run.ReplayFileOpen = true;
  Write_InfoMessage(st, "INFO: Opened file for loading data '" + next.string() + "'\n", kInfo);
  int lines = 0;
  if (const std::string why = continuation_header_differs(st, lines); !why.empty()) {
    // A crash as the run began this file leaves it empty or with part of its header.
    if (lines < 4 && input_at_end(files.input)) {
      Write_InfoMessage(st,
                        "File '" + next.string() +
                            "' ends inside its header: the run was cut short as it began "
                            "this file.\n",
                        kWarning);
      files.CutShort = true;
      return 2;
    }
    files.Damaged = true;
    const std::string other = "its header is not that of the series' first file";
    return stop_with_error(
        st, st.log,
        reading_error_message(next.string(), other + (why == other ? "" : ": " + why)) + "\n");
  }
  if (Read_EventsFromFile(st)) {
    tell_gap(st, st, st.log);
    return 1;
  }
  // A file with no whole event: the next one, if any, goes on.
  return files.Damaged ? 0 : 2;
}

}  // namespace

bool Load_EventFromNextFile(State& st) {
  for (;;) {
    const int step = open_next_file(st);
    if (step != 2) {
      if (step == 0) st.StopRequest().store(1);
      return step == 1;
    }
  }
}

void Set_RunFromFile(State& st, int on) {
  Close_FileForLoadingData(st, st);
  if ((on == 1) == replaying(st)) return;
  if (on == 1) {
    Save_Params(st, Snapshot::Replay);
    if (st.acq.SaveDataInFile == 1) {
      st.acq.SaveDataInFile = 0;
      st.acq.MeasurementsEnabled = 0;
      st.acq.SaveMeasurementsInFile = 0;
      Write_InfoMessage(st, "Saving Data to file options are OFF.\n", kInfo);
    }
    st.acq.RunFromFile = 1;
    Write_InfoMessage(st, "Running from Data file option is ON.\n", kInfo);
  } else {
    Restore_Params(st, st, Snapshot::Replay);
    st.acq.RunFromFile = 0;
    Write_InfoMessage(st, "Running from Data file option is OFF.\n", kInfo);
  }
}

}  // namespace vx
