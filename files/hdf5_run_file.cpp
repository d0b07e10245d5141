#include "files/hdf5_run_file.h"

#include <hdf5.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "files/deflate_chunks.h"
#include "files/record_format.h"

namespace vx {

namespace {

// A chunk of samples near half a megabyte: large enough for deflate and for fast writes,
// small enough for the default chunk cache.
constexpr std::size_t kChunkBytes = std::size_t{512} * 1024;

// Rows as they sit in memory; the compound types below describe them to HDF5.
struct EventRow {
  std::int32_t event_number;
  double epoch_time;
  std::int32_t year, month, day, hour, minute, second;
  std::uint32_t millisecond;
  std::uint64_t tdc;
  char event_time[24];
};

struct MeasurementRow {
  float baseline;
  float amplitude;
  float charge;
  double leading_edge;
  double trailing_edge;
  std::uint16_t trig_count;
  std::uint16_t time_count;
};

}  // namespace

// An HDF5 identifier closed with its own close function (outside the anonymous namespace:
// Hdf5RunFile::Handles holds some).
class Hdf5Id {
 public:
  Hdf5Id() = default;
  Hdf5Id(hid_t id, herr_t (*close)(hid_t), const char* what) : id_(id), close_(close) {
    if (id_ < 0) throw Hdf5Error(std::string("HDF5 could not create ") + what);
  }
  ~Hdf5Id() { reset(); }
  Hdf5Id(Hdf5Id&& o) noexcept : id_(std::exchange(o.id_, H5I_INVALID_HID)), close_(o.close_) {}
  Hdf5Id& operator=(Hdf5Id&& o) noexcept {
    if (this != &o) {
      reset();
      id_ = std::exchange(o.id_, H5I_INVALID_HID);
      close_ = o.close_;
    }
    return *this;
  }
  hid_t get() const { return id_; }
  // Closes now and reports whether the close succeeded (it flushes for files).
  bool close() {
    const herr_t rc = id_ >= 0 ? close_(id_) : 0;
    id_ = H5I_INVALID_HID;
    return rc >= 0;
  }

 private:
  void reset() {
    if (id_ >= 0) close_(id_);
    id_ = H5I_INVALID_HID;
  }
  hid_t id_ = H5I_INVALID_HID;
  herr_t (*close_)(hid_t) = nullptr;
};

namespace {

void check(herr_t rc, const char* what) {
  if (rc < 0) throw Hdf5Error(std::string("HDF5 failed to ") + what);
}

Hdf5Id text_type(std::size_t size) {
  Hdf5Id t(H5Tcopy(H5T_C_S1), H5Tclose, "a string type");
  check(H5Tset_size(t.get(), size), "size a string type");
  check(H5Tset_strpad(t.get(), H5T_STR_NULLTERM), "pad a string type");
  return t;
}

Hdf5Id event_type() {
  Hdf5Id t(H5Tcreate(H5T_COMPOUND, sizeof(EventRow)), H5Tclose, "the event type");
  const auto add = [&](const char* name, std::size_t offset, hid_t type) {
    check(H5Tinsert(t.get(), name, offset, type), "describe the event table");
  };
  add("event_number", offsetof(EventRow, event_number), H5T_NATIVE_INT32);
  add("epoch_time", offsetof(EventRow, epoch_time), H5T_NATIVE_DOUBLE);
  add("year", offsetof(EventRow, year), H5T_NATIVE_INT32);
  add("month", offsetof(EventRow, month), H5T_NATIVE_INT32);
  add("day", offsetof(EventRow, day), H5T_NATIVE_INT32);
  add("hour", offsetof(EventRow, hour), H5T_NATIVE_INT32);
  add("minute", offsetof(EventRow, minute), H5T_NATIVE_INT32);
  add("second", offsetof(EventRow, second), H5T_NATIVE_INT32);
  add("millisecond", offsetof(EventRow, millisecond), H5T_NATIVE_UINT32);
  add("tdc", offsetof(EventRow, tdc), H5T_NATIVE_UINT64);
  const Hdf5Id text = text_type(sizeof EventRow::event_time);
  add("event_time", offsetof(EventRow, event_time), text.get());
  return t;
}

Hdf5Id measurement_type() {
  Hdf5Id t(H5Tcreate(H5T_COMPOUND, sizeof(MeasurementRow)), H5Tclose, "the measurement type");
  const auto add = [&](const char* name, std::size_t offset, hid_t type) {
    check(H5Tinsert(t.get(), name, offset, type), "describe the measurements");
  };
  add("baseline", offsetof(MeasurementRow, baseline), H5T_NATIVE_FLOAT);
  add("amplitude", offsetof(MeasurementRow, amplitude), H5T_NATIVE_FLOAT);
  add("charge", offsetof(MeasurementRow, charge), H5T_NATIVE_FLOAT);
  add("leading_edge", offsetof(MeasurementRow, leading_edge), H5T_NATIVE_DOUBLE);
  add("trailing_edge", offsetof(MeasurementRow, trailing_edge), H5T_NATIVE_DOUBLE);
  add("trig_count", offsetof(MeasurementRow, trig_count), H5T_NATIVE_UINT16);
  add("time_count", offsetof(MeasurementRow, time_count), H5T_NATIVE_UINT16);
  return t;
}

// A dataset growing along its first dimension, chunked, and compressed at deflate_level
// (none at 0).
Hdf5Id growing_dataset(hid_t parent, const char* name, hid_t type, std::vector<hsize_t> row,
                       hsize_t chunk_rows, int deflate_level, bool shuffle = true) {
  std::vector<hsize_t> dims{0}, max{H5S_UNLIMITED}, chunk{chunk_rows};
  for (hsize_t d : row) {
    dims.push_back(d);
    max.push_back(d);
    chunk.push_back(d);
  }
  const int rank = static_cast<int>(dims.size());
  Hdf5Id space(H5Screate_simple(rank, dims.data(), max.data()), H5Sclose, name);
  Hdf5Id props(H5Pcreate(H5P_DATASET_CREATE), H5Pclose, name);
  check(H5Pset_chunk(props.get(), rank, chunk.data()), "set a chunk size");
  if (deflate_level > 0) {
    if (shuffle) check(H5Pset_shuffle(props.get()), "set the shuffle filter");
    check(H5Pset_deflate(props.get(), static_cast<unsigned>(deflate_level)),
          "set the deflate filter");
  }
  return Hdf5Id(H5Dcreate2(parent, name, type, space.get(), H5P_DEFAULT, props.get(), H5P_DEFAULT),
                H5Dclose, name);
}

template <typename T>
void attribute(hid_t object, const char* name, hid_t type, const T& value) {
  Hdf5Id space(H5Screate(H5S_SCALAR), H5Sclose, name);
  Hdf5Id a(H5Acreate2(object, name, type, space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose, name);
  check(H5Awrite(a.get(), type, &value), "write an attribute");
}

void text_attribute(hid_t object, const char* name, const std::string& value) {
  const Hdf5Id type = text_type(std::max<std::size_t>(value.size(), 1) + 1);
  Hdf5Id space(H5Screate(H5S_SCALAR), H5Sclose, name);
  Hdf5Id a(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose,
           name);
  check(H5Awrite(a.get(), type.get(), value.c_str()), "write an attribute");
}

// Appends rows [from, from + count) of a dataset whose first dimension grows.
void append_rows(hid_t dataset, hid_t mem_type, hsize_t from, hsize_t count, const void* data) {
  Hdf5Id space(H5Dget_space(dataset), H5Sclose, "a dataspace");
  const int rank = H5Sget_simple_extent_ndims(space.get());
  std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
  H5Sget_simple_extent_dims(space.get(), dims.data(), nullptr);
  dims[0] = from + count;
  check(H5Dset_extent(dataset, dims.data()), "extend a dataset");
  Hdf5Id file_space(H5Dget_space(dataset), H5Sclose, "a dataspace");
  std::vector<hsize_t> start(dims.size(), 0), block = dims;
  start[0] = from;
  block[0] = count;
  check(H5Sselect_hyperslab(file_space.get(), H5S_SELECT_SET, start.data(), nullptr, block.data(),
                            nullptr),
        "select rows");
  Hdf5Id mem_space(H5Screate_simple(rank, block.data(), nullptr), H5Sclose, "a dataspace");
  check(H5Dwrite(dataset, mem_type, mem_space.get(), file_space.get(), H5P_DEFAULT, data),
        "write rows");
}

// A sample the reader gives (counts, from tenths of counts) back in tenths: within a
// hundredth of a whole number, rounded half away from zero without a branch.
inline std::int16_t tenths_of(float counts) {
  const float tenths = counts * 10.0f;
  return static_cast<std::int16_t>(static_cast<int>(tenths + std::copysign(0.5f, tenths)));
}

// In blocks of a fixed length, which the compiler turns into vector instructions.
void to_tenths(const float* counts, std::int16_t* tenths, std::size_t n) {
  constexpr std::size_t kBlock = 16;
  std::size_t k = 0;
  for (; k + kBlock <= n; k += kBlock)
    for (std::size_t j = 0; j < kBlock; ++j) tenths[k + j] = tenths_of(counts[k + j]);
  for (; k < n; ++k) tenths[k] = tenths_of(counts[k]);
}

}  // namespace

struct Hdf5RunFile::Handles {
  Hdf5Id file;
  Hdf5Id samples;
  Hdf5Id events;
  Hdf5Id measurements;
  Hdf5Id event_type;
  Hdf5Id measurement_type;
};

Hdf5RunFile::Hdf5RunFile(const std::filesystem::path& path, Hdf5RunLayout layout, ThreadPool& pool,
                         int threads)
    : layout_(std::move(layout)), h_(std::make_unique<Handles>()) {
  // Failures come back as exceptions with their own text; HDF5's stack dump is noise here.
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  const auto nch = static_cast<hsize_t>(layout_.channels.size());
  const auto ns = static_cast<hsize_t>(layout_.samples);
  if (nch == 0 || ns == 0) throw Hdf5Error("the run holds no samples to export");
  const std::size_t sample_bytes = layout_.binary ? 2 : 4;
  std::size_t rows = std::max<std::size_t>(1, kChunkBytes / (nch * ns * sample_bytes));
  if (layout_.events_at_most > 0)
    rows = static_cast<std::size_t>(std::min<std::uint64_t>(rows, layout_.events_at_most));
  batch_ = static_cast<int>(rows);

  Handles& h = *h_;
  h.file = Hdf5Id(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose,
                  "the output file");
  const hid_t root = h.file.get();
  const RunHeaderValues& hv = layout_.header;
  text_attribute(root, "software_version", hv.software_version);
  text_attribute(root, "board_type", "x743");
  attribute(root, "board_channels", H5T_NATIVE_INT32, std::int32_t{hv.board_channels});
  attribute(root, "gain", H5T_NATIVE_FLOAT, hv.gain);
  attribute(root, "sampling_period_ps", H5T_NATIVE_FLOAT, hv.sampling_period_ps);
  attribute(root, "inl_correction", H5T_NATIVE_INT32, std::int32_t{hv.inl_correction});
  text_attribute(root, "edge_timing", hv.edge_timing);
  attribute(root, "samples_per_channel", H5T_NATIVE_INT32, std::int32_t{layout_.samples});
  text_attribute(root, "source_file", layout_.source_file);
  text_attribute(root, "source_format", layout_.binary ? "binary" : "ascii");

  {
    Hdf5Id space(H5Screate_simple(1, &nch, nullptr), H5Sclose, "channels");
    Hdf5Id channels(H5Dcreate2(root, "channels", H5T_NATIVE_INT32, space.get(), H5P_DEFAULT,
                               H5P_DEFAULT, H5P_DEFAULT),
                    H5Dclose, "channels");
    std::vector<std::int32_t> numbers(layout_.channels.begin(), layout_.channels.end());
    check(H5Dwrite(channels.get(), H5T_NATIVE_INT32, H5S_ALL, H5S_ALL, H5P_DEFAULT, numbers.data()),
          "write the channel list");
  }

  const auto batch = static_cast<hsize_t>(batch_);
  // Sample chunks are compressed by the pool and written as they are (the file says they
  // went through deflate); shuffling does not pay on noisy samples.
  const int level = layout_.deflate_level;
  h.samples = growing_dataset(root, "samples", layout_.binary ? H5T_STD_I16LE : H5T_IEEE_F32LE,
                              {nch, ns}, batch, level, false);
  const double volts_per_unit = layout_.binary ? kVoltsPerAdcCount / 10.0 : 1.0;
  attribute(h.samples.get(), "volts_per_unit", H5T_NATIVE_DOUBLE, volts_per_unit);
  text_attribute(h.samples.get(), "units", layout_.binary ? "tenths of ADC counts" : "V");

  h.event_type = event_type();
  h.events =
      growing_dataset(root, "events", h.event_type.get(), {}, std::max<hsize_t>(batch, 256), level);
  if (layout_.measurements) {
    h.measurement_type = measurement_type();
    h.measurements = growing_dataset(root, "measurements", h.measurement_type.get(), {nch},
                                     std::max<hsize_t>(batch, 64), level);
    text_attribute(h.measurements.get(), "source", layout_.measurement_source);
    text_attribute(h.measurements.get(), "units",
                   "baseline, amplitude: V; charge: pC; leading_edge, trailing_edge: ns from "
                   "the start of the run");
  }

  chunk_bytes_ = static_cast<std::size_t>(batch_) * nch * ns * sample_bytes;
  chunks_ = std::make_unique<DeflateChunks>(
      pool, chunk_bytes_, level, threads + 1,
      [this, nch, ns](const void* data, std::size_t size, std::uint64_t index) {
        const hsize_t first = index * static_cast<hsize_t>(batch_);
        const hsize_t rows = std::min<hsize_t>(first + static_cast<hsize_t>(batch_), appended_);
        if (rows > samples_extent_) {
          const hsize_t dims[3] = {rows, nch, ns};
          check(H5Dset_extent(h_->samples.get(), dims), "extend the samples");
          samples_extent_ = rows;
        }
        const hsize_t offset[3] = {first, 0, 0};
        check(H5Dwrite_chunk(h_->samples.get(), H5P_DEFAULT, 0, offset, size, data),
              "write a chunk of samples");
      });
  event_rows_.resize(static_cast<std::size_t>(batch_) * sizeof(EventRow));
  if (layout_.measurements)
    measurement_rows_.resize(static_cast<std::size_t>(batch_) * nch * sizeof(MeasurementRow));
}

Hdf5RunFile::~Hdf5RunFile() = default;

void Hdf5RunFile::append(const RunState& st) {
  const std::size_t nch = layout_.channels.size();
  const auto ns = static_cast<std::size_t>(layout_.samples);
  const auto row = static_cast<std::size_t>(pending_);
  const DecodedEvent& e = st.event;

  EventRow ev;
  std::memset(&ev, 0, sizeof ev);  // padding too: the rows are written as they are
  ev.event_number = st.EventNumber.load();
  ev.epoch_time = st.run.EpochTime;
  ev.year = st.run.Year;
  ev.month = st.run.Month;
  ev.day = st.run.Day;
  ev.hour = st.run.Hour;
  ev.minute = st.run.Minute;
  ev.second = st.run.Second;
  ev.millisecond = static_cast<std::uint32_t>(st.run.Millisecond);
  ev.tdc = e.EventTDC[0];
  std::memcpy(ev.event_time, e.EventTimeChain.data(), sizeof ev.event_time - 1);
  std::memcpy(event_rows_.data() + row * sizeof ev, &ev, sizeof ev);

  for (std::size_t i = 0; i < nch; ++i) {
    const int ch = layout_.channels[i];
    const int b = ch / 2, c = ch % 2;
    const auto& v = e.FullyOrderedValues[b][c];
    const std::size_t at = (row * nch + i) * ns;
    // The reader gives counts; the file's own units come back exactly from them.
    if (layout_.binary) {
      to_tenths(v.data(), reinterpret_cast<std::int16_t*>(chunks_->buffer()) + at, ns);
    } else {
      auto* volts = reinterpret_cast<float*>(chunks_->buffer());
      for (std::size_t k = 0; k < ns; ++k)
        volts[at + k] = static_cast<float>(v[k] * kVoltsPerAdcCount);
    }
    if (layout_.measurements) {
      const StoredMeasurement& m = e.StoredMeasurements[b][c];
      MeasurementRow mr;
      std::memset(&mr, 0, sizeof mr);
      mr.baseline = m.baseline;
      mr.amplitude = m.amplitude;
      mr.charge = m.charge;
      mr.leading_edge = m.leading_edge;
      mr.trailing_edge = m.trailing_edge;
      mr.trig_count = e.TrigCount[b][c];
      mr.time_count = e.TimeCount[b][c];
      std::memcpy(measurement_rows_.data() + (row * nch + i) * sizeof mr, &mr, sizeof mr);
    }
  }
  ++appended_;
  if (++pending_ == batch_) flush();
}

void Hdf5RunFile::flush() {
  if (pending_ == 0) return;
  const auto count = static_cast<hsize_t>(pending_);
  const Handles& h = *h_;
  // The last chunk is written whole: what lies beyond the run's end must not be stale.
  const std::size_t used = chunk_bytes_ / static_cast<std::size_t>(batch_) * count;
  std::memset(chunks_->buffer() + used, 0, chunk_bytes_ - used);
  chunks_->submit();
  append_rows(h.events.get(), h.event_type.get(), written_, count, event_rows_.data());
  if (layout_.measurements)
    append_rows(h.measurements.get(), h.measurement_type.get(), written_, count,
                measurement_rows_.data());
  written_ += count;
  pending_ = 0;
}

void Hdf5RunFile::finish() {
  flush();
  chunks_->drain();
  Handles& h = *h_;
  // Every handle is closed, whatever the others gave.
  bool closed = h.samples.close();
  closed = h.events.close() && closed;
  closed = h.measurements.close() && closed;
  closed = h.event_type.close() && closed;
  closed = h.measurement_type.close() && closed;
  if (!closed || !h.file.close()) throw Hdf5Error("HDF5 failed to complete the output file");
}

}  // namespace vx
