// Runs saved from the simulated board, exported to HDF5 and read back through the HDF5 API,
// against what the run reader returns for the same files.
#include <gtest/gtest.h>
#include <hdf5.h>

#include <fstream>

#include "acquisition/run_control.h"
#include "app/edge_timing.h"
#include "digitizer/board_configuration.h"
#include "files/data_file_reader.h"
#include "files/hdf5_export.h"
#include "support/file_text.h"
#include "support/saved_runs.h"
#include "support/sim_core.h"
#include "support/synthetic_run.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

// Channel 4 left out; 15 channels make chunks of 17 events, so a run of 40 spans three.
constexpr int kChannels[] = {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// A run of the simulated board saved with the given file options.
fs::path save_run(test::SimCore& sim, int events, int file_type, bool measurements, int per_file,
                  EdgeTiming timing = EdgeTiming::kStandard) {
  State& st = sim.st;
  sim.connect();
  st.acq.TimeMeasSpareOption = static_cast<std::int32_t>(timing);
  st.acq.MaxNumEventsBLT = 1;  // the run ends at its event count, not at the end of a block
  sim.board->SetMaxNumEventsBLT(st.DeviceHandle.load(), 1);
  st.sys.TriggerSource = 3;
  Set_SystemTriggerMode(st);
  for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 0;
  for (int ch : kChannels) st.gui.ChannelEnabled[ch] = 1;
  test::save_runs(st, sim.dir.path() / "RunData", file_type, per_file);
  st.acq.MeasurementsEnabled = measurements ? 1 : 0;
  st.acq.SaveMeasurementsInFile = 1;
  EXPECT_TRUE(test::run_events(st, events, 60.0));
  const fs::path dir(st.acq.RunDirectory);
  return dir / (file_type == 1 ? "veltrix_run1_Binary.bin" : "veltrix_run1_Ascii.dat");
}

ExportResult export_run(const fs::path& run, const fs::path& out, bool overwrite = false,
                        int deflate_level = kDefaultExportDeflateLevel) {
  ExportRequest request;
  request.run_file = run;
  request.output = out;
  request.overwrite = overwrite;
  request.deflate_level = deflate_level;
  return Export_RunToHdf5(request);
}

// What the run reader gives for one event.
struct ReadEvent {
  int number = 0;
  std::vector<std::vector<float>> samples;  // per channel of kChannels, in counts
  std::vector<StoredMeasurement> measurements;
  std::vector<int> trig, time;
  std::uint64_t tdc = 0;
};

std::vector<ReadEvent> read_with_reader(const fs::path& run) {
  test::TestCore core;
  State& st = core.state;
  std::vector<ReadEvent> events;
  EXPECT_EQ(Open_DataFileForLoading(st, run), 1);
  for (int got = Read_EventsFromFile(st); got == 1 || Load_EventFromNextFile(st) == 1;
       got = Read_EventsFromFile(st)) {
    ReadEvent e;
    e.number = st.EventNumber.load();
    e.tdc = st.event.EventTDC[0];
    for (int ch : kChannels) {
      const auto& v = st.event.FullyOrderedValues[ch / 2][ch % 2];
      e.samples.emplace_back(v.begin(), v.begin() + st.acq.NbOfSamplesInFile);
      e.measurements.push_back(st.event.StoredMeasurements[ch / 2][ch % 2]);
      e.trig.push_back(st.event.TrigCount[ch / 2][ch % 2]);
      e.time.push_back(st.event.TimeCount[ch / 2][ch % 2]);
    }
    events.push_back(std::move(e));
  }
  Close_FileForLoadingData(st, st);
  return events;
}

// The HDF5 side, read with the library alone.
struct H5File {
  explicit H5File(const fs::path& p) : id(H5Fopen(p.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT)) {}
  ~H5File() {
    if (id >= 0) H5Fclose(id);
  }
  std::vector<hsize_t> dims(const char* name) const {
    const hid_t d = H5Dopen2(id, name, H5P_DEFAULT);
    const hid_t s = H5Dget_space(d);
    std::vector<hsize_t> out(static_cast<std::size_t>(H5Sget_simple_extent_ndims(s)));
    H5Sget_simple_extent_dims(s, out.data(), nullptr);
    H5Sclose(s);
    H5Dclose(d);
    return out;
  }
  template <typename T>
  std::vector<T> read(const char* name, hid_t type) const {
    std::size_t count = 1;
    for (hsize_t d : dims(name)) count *= d;
    std::vector<T> out(count);
    const hid_t d = H5Dopen2(id, name, H5P_DEFAULT);
    EXPECT_GE(H5Dread(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, out.data()), 0) << name;
    H5Dclose(d);
    return out;
  }
  bool has(const char* name) const { return H5Lexists(id, name, H5P_DEFAULT) > 0; }
  std::string text_attribute(const char* name) const {
    const hid_t a = H5Aopen(id, name, H5P_DEFAULT);
    const hid_t type = H5Aget_type(a);
    std::string out(H5Tget_size(type), '\0');
    EXPECT_GE(H5Aread(a, type, out.data()), 0) << name;
    H5Tclose(type);
    H5Aclose(a);
    return out.c_str();
  }
  hsize_t chunk_rows(const char* name) const {
    const hid_t d = H5Dopen2(id, name, H5P_DEFAULT);
    const hid_t p = H5Dget_create_plist(d);
    hsize_t chunk[3] = {};
    H5Pget_chunk(p, 3, chunk);
    H5Pclose(p);
    H5Dclose(d);
    return chunk[0];
  }
  // The level of the dataset's deflate filter, 0 when it has no filter at all.
  int deflate_level(const char* name) const {
    const hid_t d = H5Dopen2(id, name, H5P_DEFAULT);
    const hid_t p = H5Dget_create_plist(d);
    int level = H5Pget_nfilters(p) == 0 ? 0 : -1;
    unsigned flags = 0, values[4] = {};
    std::size_t count = 4;
    if (H5Pget_filter_by_id2(p, H5Z_FILTER_DEFLATE, &flags, &count, values, 0, nullptr, nullptr) >=
            0 &&
        count >= 1)
      level = static_cast<int>(values[0]);
    H5Pclose(p);
    H5Dclose(d);
    return level;
  }
  hid_t id;
};

// Fields picked by name from the exported compound types.
struct Measured {
  float baseline, amplitude, charge;
  double leading_edge, trailing_edge;
  std::uint16_t trig_count, time_count;
};
struct EventPart {
  std::int32_t event_number;
  std::uint64_t tdc;
};

std::vector<Measured> read_measurements(const H5File& f) {
  const hid_t t = H5Tcreate(H5T_COMPOUND, sizeof(Measured));
  H5Tinsert(t, "baseline", HOFFSET(Measured, baseline), H5T_NATIVE_FLOAT);
  H5Tinsert(t, "amplitude", HOFFSET(Measured, amplitude), H5T_NATIVE_FLOAT);
  H5Tinsert(t, "charge", HOFFSET(Measured, charge), H5T_NATIVE_FLOAT);
  H5Tinsert(t, "leading_edge", HOFFSET(Measured, leading_edge), H5T_NATIVE_DOUBLE);
  H5Tinsert(t, "trailing_edge", HOFFSET(Measured, trailing_edge), H5T_NATIVE_DOUBLE);
  H5Tinsert(t, "trig_count", HOFFSET(Measured, trig_count), H5T_NATIVE_UINT16);
  H5Tinsert(t, "time_count", HOFFSET(Measured, time_count), H5T_NATIVE_UINT16);
  auto out = f.read<Measured>("measurements", t);
  H5Tclose(t);
  return out;
}

std::vector<EventPart> read_events(const H5File& f) {
  const hid_t t = H5Tcreate(H5T_COMPOUND, sizeof(EventPart));
  H5Tinsert(t, "event_number", HOFFSET(EventPart, event_number), H5T_NATIVE_INT32);
  H5Tinsert(t, "tdc", HOFFSET(EventPart, tdc), H5T_NATIVE_UINT64);
  auto out = f.read<EventPart>("events", t);
  H5Tclose(t);
  return out;
}

// Compressed at the default level, not at all, or at the highest: the same samples.
TEST(Hdf5Export, SplitBinaryRunWithMeasurementsMatchesTheReaderSampleForSample) {
  test::SimCore sim("V1743");
  const fs::path run = save_run(sim, 40, 1, true, 15);
  ASSERT_EQ(Run_SeriesFiles(run).size(), 3u);  // 15 + 15 + 10 events
  const auto expected = read_with_reader(run);
  ASSERT_EQ(expected.size(), 40u);
  for (const int level : {kDefaultExportDeflateLevel, 0, kMaxExportDeflateLevel}) {
    SCOPED_TRACE("deflate level " + std::to_string(level));
    const fs::path out = sim.dir.path() / ("run" + std::to_string(level) + ".h5");
    const ExportResult r = export_run(run, out, false, level);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.events, 40u);

    const std::size_t n = expected.size(), nch = std::size(kChannels), ns = 1024;
    H5File f(out);
    ASSERT_GE(f.id, 0);
    EXPECT_EQ(f.text_attribute("edge_timing"), "standard");
    for (const char* dataset : {"samples", "events", "measurements"})
      EXPECT_EQ(f.deflate_level(dataset), level) << dataset;
    ASSERT_EQ(f.dims("samples"), (std::vector<hsize_t>{n, nch, ns}));
    EXPECT_EQ(f.read<int>("channels", H5T_NATIVE_INT),
              std::vector<int>(std::begin(kChannels), std::end(kChannels)));
    const auto samples = f.read<std::int16_t>("samples", H5T_NATIVE_INT16);
    const auto events = read_events(f);
    ASSERT_TRUE(f.has("measurements"));
    const auto measured = read_measurements(f);
    ASSERT_EQ(events.size(), n);
    ASSERT_EQ(measured.size(), n * nch);

    bool some_pulse = false;
    for (std::size_t e = 0; e < n; ++e) {
      const ReadEvent& x = expected[e];
      EXPECT_EQ(events[e].event_number, x.number);
      EXPECT_EQ(events[e].event_number, static_cast<int>(e) + 1);
      EXPECT_EQ(events[e].tdc, x.tdc);
      for (std::size_t c = 0; c < nch; ++c) {
        for (std::size_t k = 0; k < ns; ++k)
          ASSERT_EQ(static_cast<float>(samples[(e * nch + c) * ns + k] / 10.0), x.samples[c][k])
              << "event " << e + 1 << " channel " << kChannels[c] << " sample " << k;
        const Measured& m = measured[e * nch + c];
        const StoredMeasurement& s = x.measurements[c];
        EXPECT_EQ(std::tie(m.baseline, m.amplitude, m.charge, m.leading_edge, m.trailing_edge),
                  std::tie(s.baseline, s.amplitude, s.charge, s.leading_edge, s.trailing_edge));
        EXPECT_EQ(std::tie(m.trig_count, m.time_count), std::tie(x.trig[c], x.time[c]));
        some_pulse = some_pulse || std::abs(s.amplitude) > 0.05f;
      }
    }
    EXPECT_TRUE(some_pulse) << "the run should carry real measurements";
  }
}

TEST(Hdf5Export, AsciiRunKeepsItsVoltsAndTakesMeasurementsFromTheMeasurementFile) {
  test::SimCore sim("V1743");
  const fs::path run = save_run(sim, 8, 0, false, 500, EdgeTiming::kBandLimited);
  const fs::path out = sim.dir.path() / "run.h5";
  const ExportResult r = export_run(run, out);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_TRUE(r.measurements);
  const std::size_t n = 8, nch = std::size(kChannels), ns = 1024;
  H5File f(out);
  // The times came from the band-limited edge timing: the files' header and the export say so.
  EXPECT_EQ(f.text_attribute("edge_timing"), "band-limited");
  const auto volts = f.read<float>("samples", H5T_NATIVE_FLOAT);
  const auto measured = read_measurements(f);
  ASSERT_EQ(volts.size(), n * nch * ns);
  ASSERT_EQ(measured.size(), n * nch);

  // The data file's sample lines and the measurement file's channel lines, as printed.
  const auto sample_lines = test::number_lines(run);
  const auto measurement_lines =
      test::number_lines(run.parent_path() / ("measurements_" + run.filename().string()));
  ASSERT_EQ(sample_lines.size(), n * nch);
  ASSERT_EQ(measurement_lines.size(), n * nch);
  bool some_pulse = false;
  for (std::size_t i = 0; i < n * nch; ++i) {
    for (std::size_t k = 0; k < ns; ++k)
      ASSERT_NEAR(volts[i * ns + k], sample_lines[i][k], 1e-7) << "record " << i << " " << k;
    const auto& line = measurement_lines[i];
    EXPECT_EQ(line[0], kChannels[i % nch]);
    EXPECT_NEAR(measured[i].baseline, line[1], 1e-7);
    EXPECT_NEAR(measured[i].amplitude, line[2], 1e-7);
    EXPECT_NEAR(measured[i].charge, line[3], 1e-4);
    EXPECT_EQ(measured[i].leading_edge, line[4]);
    EXPECT_EQ(measured[i].trailing_edge, line[5]);
    some_pulse = some_pulse || std::abs(line[2]) > 0.05;
  }
  EXPECT_TRUE(some_pulse) << "the measurement file should hold real pulses";
}

// Bad input gets the reader's error and no output; an existing output stays unless overwritten.
TEST(Hdf5Export, FailuresLeaveNoOutputAndKeepExistingFiles) {
  test::SimCore sim("V1743");
  const fs::path run = save_run(sim, 6, 1, true, 500);
  const fs::path dir = sim.dir.path();
  const fs::path cut = dir / "cut_Binary.bin";
  fs::copy_file(run, cut);
  fs::resize_file(cut, fs::file_size(run) - 1000);  // the last event loses its end
  const fs::path damaged = dir / "damaged_Binary.bin";
  fs::copy_file(run, damaged);
  ASSERT_TRUE(test::damage_binary_event(damaged, 6, 3));
  const fs::path text = dir / "notes.txt";
  std::ofstream(text) << "not a run\n";
  const fs::path existing = dir / "existing.h5";
  std::ofstream(existing) << "keep me";

  struct Case {
    fs::path run, out;
    bool overwrite;
    std::string error;  // empty: succeeds
  } cases[] = {
      {text, dir / "text.h5", false, "Invalid file for loading data!"},
      {run, existing, false, "already exists"},
      {run, dir / "no such dir" / "x.h5", false, "Error while writing file"},
      {run, existing, true, ""},
  };
  for (const Case& c : cases) {
    const ExportResult r = export_run(c.run, c.out, c.overwrite);
    EXPECT_EQ(r.ok, c.error.empty()) << c.out;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    EXPECT_FALSE(fs::exists(c.out.string() + ".partial")) << c.out;
    EXPECT_EQ(fs::exists(c.out), r.ok || c.out == existing) << c.out;
  }
  // Refused first, replaced by the last case.
  EXPECT_EQ(H5File(existing).dims("samples")[0], read_with_reader(run).size());

  // A run cut short, as a killed program leaves it: its whole events, the last one named.
  const ExportResult r = export_run(cut, dir / "cut.h5");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.events, 5u);
  EXPECT_EQ(r.last_event, 5);
  EXPECT_FALSE(r.stopped_at_damage);
  // A damaged run: every whole event before the damage, and where it stopped.
  const ExportResult d = export_run(damaged, dir / "damaged.h5");
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_TRUE(d.stopped_at_damage);
  EXPECT_EQ(H5File(dir / "damaged.h5").dims("samples")[0], 3u);
  EXPECT_EQ(d.last_event, 3);
  EXPECT_NE(d.error.find("event 4's channel record 1 holds channel 99"), std::string::npos)
      << d.error;
  // A short run takes chunks of about its size, not the 17 events of half a megabyte: at
  // most twice the events its bytes could hold (six, two bytes a sample) and one more.
  EXPECT_LE(H5File(dir / "cut.h5").chunk_rows("samples"), 2u * 6u + 1u);
}

}  // namespace
}  // namespace vx
