#include "files/data_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>

#include <filesystem>
#include <future>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>

#include "analysis/fft_noise.h"
#include "analysis/measurement_pass.h"
#include "app/message_log.h"
#include "app/messages.h"
#include "files/output_file.h"
#include "files/quoted_text.h"
#include "files/record_format.h"
#include "files/run_naming.h"
#include "platform/clock.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

std::string path_text(const fs::path& p) {
  return p.string();
}

fs::path split_file_path(const FileData& files, int index) {
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "_%04d", index);
  return fs::path(files.FileForSavingData.string() + suffix);
}

// A write error ends the saving of the run, and the run with it. The count is of the
// events in files that are still where the run put them.
void report_write_error(SavingParts& w, const OutputFile& f) {
  const bool data = &f == &w.files.data;
  const long long saved = data ? Saved_EventCount(w.files, true)
                               : (file_on_disk(f.path, f.device, f.inode) ? f.events_committed : 0);
  char tail[160];
  std::snprintf(tail, sizeof tail, ". Saving stopped: %lld events of the run are in the %s.\n",
                saved, data ? "data files" : "measurement file");
  w.log.write("Error while writing file '" + path_text(f.path) + "': " + f.error_text + tail,
              kError);
  w.stop_request.store(1);
}

void fail_removed(SavingParts& w, OutputFile& f) {
  fail_output(f, "the file is no longer on disk: it or its run directory '" +
                     path_text(f.path.parent_path()) + "' was removed or replaced during the run");
  report_write_error(w, f);
}

// The file, or the run directory holding it, was removed or replaced behind the run's back:
// what is written from now on would be lost.
bool check_on_disk(SavingParts& w, OutputFile& f) {
  if (!output_is_open(f) || f.failed || output_on_disk(f)) return true;
  fail_removed(w, f);
  return false;
}

void hold_run_directory(FileData& files, const fs::path& run_dir) {
  files.RunDirFd.reset(::open(run_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat info {};
  const bool known = files.RunDirFd.valid() && ::fstat(files.RunDirFd.get(), &info) == 0;
  files.RunDirDevice = known ? info.st_dev : 0;
  files.RunDirInode = known ? info.st_ino : 0;
}

// The run directory's path still leads to the directory the run made (true when that could
// not be told).
bool run_directory_in_place(const FileData& files, const fs::path& run_dir) {
  return files.RunDirInode == 0 || file_on_disk(run_dir, files.RunDirDevice, files.RunDirInode);
}

// "Error while creating File" with the system's reason; a vanished run directory is said.
void report_creation_error(MessageLog& log, const OutputFile& f) {
  std::string why = f.error_text;
  std::error_code ec;
  if (!fs::is_directory(f.path.parent_path(), ec))
    why += ": the run directory '" + path_text(f.path.parent_path()) + "' is gone";
  Write_InfoMessage(log, "Error while creating File '" + path_text(f.path) + "' (" + why + ").\n",
                    kError);
}

// Appends text as one record, on disk at once: a file cut short by a crash still tells
// whose run it holds. Reports a failure that it brings to light.
void write_header(SavingParts& w, OutputFile& f, const std::string& text) {
  if (!output_is_open(f) || f.failed) return;
  RecordWriter(f.pending).text(text);
  if (!end_record(f, false) || !flush_output(f)) report_write_error(w, f);
}

void write_headers(SavingParts& w, const RunConfig& cfg, bool data, bool measurements) {
  FileData& files = w.files;
  const std::string common = common_header(cfg);
  if (data && cfg.acq.SaveDataInFile == 1)
    write_header(w, files.data,
                 common + data_header_line(cfg, files.DataFormat == EventFormat::Spectra));
  if (measurements && cfg.acq.SaveMeasurementsInFile == 1)
    write_header(w, files.measurements, common + measurement_header_line());
}

// The longest path a record's directory field holds.
constexpr std::size_t kMaxDirectoryChars = sizeof AcqParams::DataDirectory - 1;
static_assert(sizeof AcqParams::RunDirectory == sizeof AcqParams::DataDirectory);

std::string too_long(const std::string& path) {
  return "the path has " + std::to_string(path.size()) + " characters, more than the " +
         std::to_string(kMaxDirectoryChars) + " a directory of the settings can hold";
}

// Step 3 of the run start: the directory that receives the run directory. A remote client's
// run goes into the data directory of the settings: nobody may be there to choose one.
bool choose_base_directory(Settings& st, RunState& run_state, FrontEndLinks& links,
                           const std::string& directory, fs::path& base) {
  if (st.acq.PopupForFileName == 1 && !run_state.RemoteStart) {
    const auto chosen = links.ui.select_directory("Select Directory for Saving Data", directory);
    if (!chosen) {
      Write_InfoMessage(links.log, "Error while selecting folder for saving Data!\n", kError);
      return false;
    }
    if (chosen->string().size() > kMaxDirectoryChars) {
      Write_InfoMessage(links.log,
                        "Error while selecting folder for saving Data! '" + chosen->string() +
                            "': " + too_long(chosen->string()) + ".\n",
                        kError);
      return false;
    }
    set_text(st.acq.DataDirectory, chosen->string().c_str());
    links.ui.refresh_panel(Panel::Main);
    base = *chosen;
    return true;
  }
  std::error_code ec;
  fs::create_directory(directory, ec);
  if (ec && ec != std::errc::file_exists) {
    run_state.refuse_start("the data directory '" + directory + "' cannot be used");
    Write_InfoMessage(links.log,
                      "Unable to open Selected Run Directory! Make sure that all components in the "
                      "directory Path are present! '" +
                          directory + "': " + ec.message() + ".\n",
                      kError);
    return false;
  }
  base = directory;
  return true;
}

// A run name is one directory name: not empty, no separator, not "." or "..".
bool usable_run_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

bool has_digits_only(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Files this program writes into a run directory: the data files (split ones with
// "_NNNN"), the measurement file and the copy of the log file.
bool written_by_run(const std::string& file, const std::string& run_name,
                    const std::string& log_name) {
  if (file == log_name) return true;
  std::string_view rest = file;
  if (rest.starts_with("measurements_")) rest.remove_prefix(13);
  if (!rest.starts_with(run_name)) return false;
  rest.remove_prefix(run_name.size());
  for (std::string_view extension : {"_Ascii.dat", "_Binary.bin"}) {
    if (!rest.starts_with(extension)) continue;
    const std::string_view tail = rest.substr(extension.size());
    if (tail.empty() || (tail.front() == '_' && has_digits_only(tail.substr(1)))) return true;
  }
  return false;
}

// Removes the files an earlier run of this name wrote; other files and folders stay.
bool remove_run_files(FrontEndLinks& st, const fs::path& run_dir, const std::string& run_name) {
  std::error_code ec;
  const std::string log_name = st.log.file.filename().string();
  for (const auto& entry : fs::directory_iterator(run_dir, ec)) {
    const std::string file = entry.path().filename().string();
    if (entry.is_directory(ec) || !written_by_run(file, run_name, log_name)) continue;
    if (!fs::remove(entry.path(), ec) && ec) return false;
  }
  return !ec;
}

// Step 5: the run directory; when it exists, the earlier run's files in it are replaced
// after confirmation.
Status make_run_directory(RunState& st, FrontEndLinks& links, const fs::path& run_dir,
                          const std::string& run_name) {
  const auto refuse = [&](const std::string& why) {
    st.refuse_start("the run directory '" + path_text(run_dir) + "' cannot be made: " + why);
    Write_InfoMessage(
        links.log, "Error while making Run Directory '" + path_text(run_dir) + "': " + why + ".\n",
        kError);
    return kFailed;
  };
  if (run_dir.string().size() > kMaxDirectoryChars) return refuse(too_long(run_dir.string()));
  std::error_code ec;
  if (!fs::create_directory(run_dir, ec) && !ec) {
    if (!fs::is_directory(run_dir, ec)) return refuse("it exists and is not a directory");
    if (st.RemoteStart && !links.ui.answers_unattended()) {
      st.refuse_start("the run directory '" + path_text(run_dir) + "' already exists");
      Write_InfoMessage(links.log,
                        "Run Directory '" + path_text(run_dir) +
                            "' already exists: the TCP client's start is refused, its files "
                            "are kept.\n",
                        kWarning);
      return kFailed;
    }
    const std::string question =
        "Run Directory '" + path_text(run_dir) +
        "' already exists. Are you sure you want to replace files in directory? "
        "All exisiting files in the directory will be deleted...";
    if (!links.ui.confirm_replace("WARNING", question)) {
      st.refuse_start("the run directory '" + path_text(run_dir) + "' already exists");
      Write_InfoMessage(links.log,
                        "Saving Data File aborted." + links.ui.hint(Hint::RetryRunDirectory) + "\n",
                        kWarning);
      return kNotDone;
    }
    if (!remove_run_files(links, run_dir, run_name))
      return refuse("the earlier run's files in it cannot be removed");
  }
  if (ec) return refuse(ec.message());
  if (!fs::is_directory(run_dir, ec)) return refuse("it is not a directory");
  return kDone;
}

void close_all_outputs(FileData& files) {
  files.data.fd.reset();
  files.measurements.fd.reset();
}

Status open_new_run(State& st, const RunConfig& cfg, const std::string& directory) {
  const WallTime now = st.clock.wall();
  const char* extension = cfg.acq.DataFileType == 0 ? "_Ascii.dat" : "_Binary.bin";
  st.run.FileForSavingDataOpenOK = false;

  fs::path base;
  if (!choose_base_directory(st, st, st, directory, base)) return kFailed;
  const std::string run_name = build_run_name(st, st, base, now);
  if (!usable_run_name(run_name)) {
    st.refuse_start("the run name '" + run_name + "' is not usable");
    Write_InfoMessage(st,
                      "Error : Invalid run name '" + Escaped_FileText(run_name) +
                          "': it must not be empty, hold '/' or '\\', or be '.' or '..'. "
                          "Check the base file name.\n",
                      kError);
    return kFailed;
  }
  const fs::path run_dir = base / run_name;
  if (const Status made = make_run_directory(st, st, run_dir, run_name); made != kDone) return made;
  hold_run_directory(st.files, run_dir);
  set_text(st.acq.RunDirectory, run_dir.string().c_str());
  st.ui.refresh_panel(Panel::Main);
  Write_InfoMessage(st, "Data will be saved into directory : '" + path_text(run_dir) + "' \n",
                    kInfo);

  FileData& files = st.files;
  st.run.FileIndex = 0;
  files.ClosedDataFiles.clear();
  files.DataFormat = st.FFTMode().load() == 1    ? EventFormat::Spectra
                     : cfg.acq.DataFileType == 0 ? EventFormat::Ascii
                                                 : EventFormat::Binary;
  if (cfg.acq.SaveDataInFile == 1) {
    files.FileForSavingData = run_dir / (run_name + extension);
    if (!open_output(files.data, files.FileForSavingData)) {
      report_creation_error(st.log, files.data);
      return kFailed;
    }
  }
  if (cfg.acq.SaveMeasurementsInFile == 1) {
    files.FileForSavingAllMeasurements = run_dir / ("measurements_" + run_name + extension);
    if (!open_output(files.measurements, files.FileForSavingAllMeasurements)) {
      report_creation_error(st.log, files.measurements);
      close_all_outputs(st.files);
      return kFailed;
    }
  }
  st.run.FileForSavingDataOpenOK = true;
  SavingParts w = Saving_PartsOf(st);
  write_headers(w, cfg, true, true);
  return kDone;
}

int open_next_split_file(SavingParts& w, RunData& run, const RunConfig& cfg) {
  if (cfg.acq.SaveDataInFile != 1) return 1;
  FileData& files = w.files;
  // Told already; nothing more is written in this run.
  if (files.data.failed || files.measurements.failed) return 0;
  run.FileIndex += 1;
  const fs::path path = split_file_path(files, run.FileIndex);
  if (!open_output(files.data, path)) {
    report_creation_error(w.log, files.data);
    return 0;
  }
  // Opened in a directory that replaced the run's: the series' earlier files are not there.
  if (!run_directory_in_place(files, path.parent_path())) {
    std::error_code ec;
    fs::remove(path, ec);
    fail_removed(w, files.data);
    return 0;
  }
  run.FileForSavingDataOpenOK = true;
  write_headers(w, cfg, true, false);
  // The measurement file gets the common lines and its own line again.
  if (cfg.acq.SaveMeasurementsInFile == 1)
    write_header(w, files.measurements, common_header(cfg) + measurement_header_line());
  return 1;
}

// Closes one output; tells the success, or the failure if it was not told already.
void close_and_tell(SavingParts& w, OutputFile& f, const std::string& shown_path) {
  if (!output_is_open(f)) return;
  const bool already_failed = f.failed;
  // Whatever was written is lost with a file removed behind the run's back (told there).
  if (!already_failed && flush_output(f) && !check_on_disk(w, f)) {
    close_output(f);
    return;
  }
  if (close_output(f)) {
    Write_InfoMessage(w.log, data_saved_message(shown_path), kInfo);
  } else if (!already_failed) {
    report_write_error(w, f);
  }
}

void write_record(SavingParts& w, OutputFile& f, const SavedEvent& ev,
                  void (*append)(const SavedEvent&, ByteBuffer&)) {
  if (!output_is_open(f) || f.failed) return;
  append(ev, f.pending);
  if (!end_record(f)) report_write_error(w, f);
}

}  // namespace

Status Open_FileForSavingData(State& st, const RunConfig& cfg, const std::string& directory,
                              OpenFiles which) {
  if (!cfg.saving()) return kDone;
  std::lock_guard lock(st.files.io_mutex);
  if (which == OpenFiles::NewRun) {
    const Status opened = open_new_run(st, cfg, directory);
    if (opened != kDone) close_all_outputs(st.files);
    return opened;
  }
  SavingParts w = Saving_PartsOf(st);
  return open_next_split_file(w, st.run, cfg) == 1 ? kDone : kFailed;
}

void Close_FileForSavingData(State& st, const RunConfig& cfg, CloseFiles which) {
  SavingParts w = Saving_PartsOf(st);
  FileData& files = w.files;
  std::lock_guard lock(files.io_mutex);
  if (cfg.acq.SaveDataInFile == 1 && which != CloseFiles::MeasurementFile) {
    const fs::path shown = st.run.FileIndex == 0 ? files.FileForSavingData
                                                 : split_file_path(st.files, st.run.FileIndex);
    const bool was_open = output_is_open(files.data);
    close_and_tell(w, files.data, path_text(shown));
    if (was_open) {
      const OutputFile& f = files.data;
      files.ClosedDataFiles.push_back({f.path, f.device, f.inode, f.events_committed, f.committed});
      files.data.events_committed = 0;
    }
  }
  if (cfg.acq.SaveMeasurementsInFile == 1 && which != CloseFiles::DataFile)
    close_and_tell(w, files.measurements, path_text(files.FileForSavingAllMeasurements));
}

void Format_DataRecord(SavedEvent& ev) {
  ev.DataRecord.size = 0;
  switch (ev.Format) {
    case EventFormat::Spectra:
      append_fft_event(ev, ev.DataRecord);
      break;
    case EventFormat::Ascii:
      append_ascii_event(ev, ev.DataRecord);
      break;
    case EventFormat::Binary:
      append_binary_event(ev, ev.DataRecord);
      break;
  }
  ev.DataRecordReady = true;
}

void Write_EventInFiles(SavingParts& w, const SavingConfig& config, const SavedEvent& ev) {
  FileData& files = w.files;
  if (config.data) {
    OutputFile& f = files.data;
    if (ev.DataRecordReady && output_is_open(f) && !f.failed) {
      RecordWriter(f.pending).bytes(ev.DataRecord.data.data(), ev.DataRecord.size);
      if (!end_record(f)) report_write_error(w, f);
    } else if (!ev.DataRecordReady) {
      switch (files.DataFormat) {
        case EventFormat::Spectra:
          write_record(w, f, ev, append_fft_event);
          break;
        case EventFormat::Ascii:
          write_record(w, f, ev, append_ascii_event);
          break;
        case EventFormat::Binary:
          write_record(w, f, ev, append_binary_event);
          break;
      }
    }
  }
  if (config.measurements) write_record(w, files.measurements, ev, append_measurement_event);
}

namespace {

// The periodic flush, which also notices files removed or replaced during the run.
void flush_and_tell(SavingParts& w, OutputFile& f) {
  if (!output_is_open(f) || f.failed) return;
  if (!flush_output(f)) {
    report_write_error(w, f);
    return;
  }
  check_on_disk(w, f);
}

}  // namespace

namespace {

// How long an idle writer or formatter waits before it looks at the run's end again (the
// loop's end closes the queue, which wakes both).
constexpr double kIdleLookSeconds = 0.05;

// Memory ran out while an event was being made into records: the files keep the whole
// records they got (written now), take nothing more, and the run ends. Told like a write
// error, as far as memory allows.
void stop_saving_out_of_memory(SavingParts& w) noexcept {
  w.stop_request.store(1);
  FileData& files = w.files;
  std::lock_guard lock(files.io_mutex);
  OutputFile* failed[2] = {};
  int n = 0;
  for (OutputFile* f : {&files.data, &files.measurements}) {
    if (!output_is_open(*f) || f->failed) continue;
    if (flush_output(*f)) fail_output(*f, "out of memory");
    failed[n++] = f;
  }
  for (int i = 0; i < n; ++i) {
    try {
      report_write_error(w, *failed[i]);
    } catch (const std::bad_alloc&) {
      // Not told; the run ends all the same.
    }
  }
}

bool writer_done(const SavingParts& w, int generation) {
  return w.queue.closed() || w.running.load() == 0 || w.generation.load() != generation;
}

// The formatter: makes the data record of each slot handed over, in order, while the
// writer writes the slots before it. It ends when the writer would.
void Format_SavedEvents(SavingParts& w, const SavingConfig& config, int generation) {
  SaveRing& queue = w.queue;
  for (;;) {
    SavedEvent* ev =
        queue.next_to_prepare(std::chrono::microseconds(std::llround(kIdleLookSeconds * 1e6)));
    if (ev != nullptr) {
      try {
        // The run's sums are this thread's while the loop leaves the measurements to it.
        if (ev->MeasuredByFormatter) Measure_EventJobs(ev->Jobs, ev->Results, &w.meas);
        if (config.data && !ev->DataRecordReady) {
          Compute_SavedSpectra(*ev, w.meas.FftPlans);
          Format_DataRecord(*ev);
        }
      } catch (const std::bad_alloc&) {
        ev->DataRecordReady = false;
        stop_saving_out_of_memory(w);
      }
      queue.prepared();
      continue;
    }
    if (writer_done(w, generation)) return;
  }
}

}  // namespace

void Save_DataInFile(SavingParts w, SavingConfig config, int generation) {
  SaveRing& queue = w.queue;
  // With a formatter, the writer ends only once the formatter has: neither touches the
  // queue after the writer is released.
  std::future<void> formatter;
  if (queue.staged()) {
    auto ended = std::make_shared<std::promise<void>>();
    formatter = ended->get_future();
    w.pool.schedule([w, config, generation, ended]() mutable {
      Format_SavedEvents(w, config, generation);
      ended->set_value();
    });
  }
  double next_flush = w.clock.now() + kOutputFlushSeconds;
  for (;;) {
    const double until_flush = std::clamp(next_flush - w.clock.now(), 0.0, kIdleLookSeconds);
    const SavedEvent* ev = queue.next(std::chrono::microseconds(std::llround(until_flush * 1e6)));
    if (w.clock.now() >= next_flush) {
      try {
        std::lock_guard lock(w.files.io_mutex);
        flush_and_tell(w, w.files.data);
        flush_and_tell(w, w.files.measurements);
      } catch (const std::bad_alloc&) {
        stop_saving_out_of_memory(w);
      }
      next_flush = w.clock.now() + kOutputFlushSeconds;
    }
    if (ev != nullptr) {
      try {
        std::lock_guard lock(w.files.io_mutex);
        Write_EventInFiles(w, config, *ev);
      } catch (const std::bad_alloc&) {
        stop_saving_out_of_memory(w);
      }
      queue.release();
      continue;
    }
    if (writer_done(w, generation)) break;
  }
  if (formatter.valid()) formatter.wait();
}

namespace {

// The run's data file holds text: its format once the file is open, else the one it will have.
bool text_records(RunOutput& st, Settings& settings, const RunConfig& cfg) {
  std::lock_guard lock(st.files.io_mutex);
  if (output_is_open(st.files.data)) return st.files.DataFormat != EventFormat::Binary;
  return settings.FFTMode().load() == 1 || cfg.acq.DataFileType == 0;
}

// The event's measurements left to the formatter: every measured channel's samples, and
// its job pointing at them.
void capture_measurement_jobs(const RunState& st, const RunConfig& cfg, const DecodedEvent& event,
                              SavedEvent& ev) {
  ev.MeasuredByFormatter = true;
  Collect_EventJobs(st, cfg, event, ev.Jobs);
  for (std::size_t i = 0; i < ev.Jobs.count; ++i) {
    const int b = ev.Jobs.block[i], c = ev.Jobs.channel[i];
    std::copy_n(event.FullyOrderedValues[b][c].begin(), ev.NbOfSamples, ev.Values[b][c].begin());
    ev.Jobs.jobs[i].waveform = ev.Values[b][c].data();
  }
}

}  // namespace

void Queue_EventForSaving(RunState& st, RunOutput& output, const RunConfig& cfg,
                          const DecodedEvent& event) {
  SaveRing& queue = output.SavingQueue;
  CopiedData what = copied_for_data_file(output, cfg);
  // The formatter computes the spectra and makes the records, unless it is behind: the loop,
  // which would only wait for room, does both then (the same bytes either way). Not the
  // records the formatter measures for.
  const bool behind = queue.unprepared() >= kFormatterBacklog;
  // Events of the firmware's charge mode have no samples, and no spectrum.
  if (what == CopiedData::Spectra && !(cfg.charge_mode() && !cfg.replaying())) {
    if (st.run.SpectraByFormatter && !behind) {
      what = CopiedData::SamplesForSpectra;
    } else {
      Compute_SpectrumOfEvent(st, cfg, event);
    }
  }
  SavedEvent& ev = queue.claim();
  Capture_SavedEvent(st, output, cfg, event, ev, what);
  if (st.run.MeasuredByFormatter) {
    capture_measurement_jobs(st, cfg, event, ev);
  } else if (behind && what != CopiedData::None) {
    try {
      Format_DataRecord(ev);
    } catch (const std::bad_alloc&) {
      ev.DataRecordReady = false;  // the formatter tries again, and tells
    }
  }
  queue.publish();
}

void Wait_SavingQueueEmpty(RunOutput& st) {
  st.SavingQueue.wait_empty();
}

void Start_SaveDataInFileThread(State& st, const RunConfig& cfg) {
  // Marked busy before it is scheduled, so that a next run cannot start a second writer
  // while this one waits for a pool thread.
  st.SaveDataInFileThreadReleased.store(0);
  // Text records, and the measurements when only the measurement file needs them, are made
  // on a thread of their own beside the writer. A binary record costs less than handing the
  // event over once more: the writer makes it itself.
  st.run.MeasuredByFormatter = Measurements_OnlyForMeasurementFile(cfg);
  const bool formatter =
      (cfg.acq.SaveDataInFile == 1 && text_records(st, st, cfg)) || st.run.MeasuredByFormatter;
  // Spectra saved are computed there too, from the samples.
  st.run.SpectraByFormatter = formatter && !cfg.replaying();
  try {
    st.SavingQueue.reset(formatter);
  } catch (const std::bad_alloc&) {
    // The queue's slots are made at the first saving run: without them nothing can be saved.
    // The loop then stops before its first readout, and the run ends with its files closed.
    st.SaveDataInFileThreadReleased.store(1);
    Write_InfoMessage(st, "Not enough memory for the saving queue: the run is stopped.\n", kError);
    st.request_run_end();
    return;
  }
  // What the writer needs of the run, from the loop's settings.
  const SavingConfig config = Saving_ConfigOf(st, cfg);
  const int generation = st.AcquisitionGeneration.load();
  st.pool.schedule([&st, config, generation] {
    Save_DataInFile(Saving_PartsOf(st), config, generation);
    st.SaveDataInFileThreadReleased.store(1);
  });
}

SavingConfig Saving_ConfigOf(const RunState& st, const RunConfig& cfg) {
  return {cfg.acq.SaveDataInFile == 1, cfg.acq.SaveMeasurementsInFile == 1,
          st.run.MeasuredByFormatter};
}

SavingParts Saving_PartsOf(State& st) {
  return {st.files,
          st.SavingQueue,
          st.meas,
          st.log,
          st.clock,
          st.pool,
          st.StopRequest(),
          st.AcquisitionRunning,
          st.AcquisitionGeneration};
}

std::int64_t Saved_EventCount(const FileData& files, bool data_files) {
  const auto on_disk = [](const OutputFile& f) {
    return file_on_disk(f.path, f.device, f.inode) ? f.events_committed : 0;
  };
  if (!data_files) return on_disk(files.measurements);
  // The current file (its count goes to the closed files' list once it is closed).
  std::int64_t events = on_disk(files.data);
  for (const ClosedFile& c : files.ClosedDataFiles)
    if (file_on_disk(c.path, c.device, c.inode)) events += c.events;
  return events;
}

std::int64_t Saved_EventCount(const RunOutput& output, const Settings& st) {
  return Saved_EventCount(output.files, st.acq.SaveDataInFile == 1);
}

bool Saving_Failed(const RunOutput& st) {
  // The writer thread marks a file failed at any of its writes or flushes.
  return st.files.data.failed || st.files.measurements.failed;
}

void Copy_LogFileToRunDirectory(RunOutput& st, MessageLog& log, const RunConfig& cfg) {
  const std::string run_dir(cfg.acq.RunDirectory, text_length(cfg.acq.RunDirectory));
  if (run_dir.empty() || !run_directory_in_place(st.files, run_dir)) return;
  log.copy_into(run_dir);
}

}  // namespace vx
