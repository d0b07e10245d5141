// The run's data and measurement files: the run directory, the headers, the writer thread
// that formats each event handed over by the acquisition loop, splitting and closing.
#pragma once

#include <cstdint>
#include <string>

#include "app/run_config.h"
#include "app/state.h"
#include "app/status.h"

namespace vx {

// What the writer and its formatter need of a run, frozen when the writer starts and handed
// over by value: neither reads the live settings, which the user may change meanwhile.
struct SavingConfig {
  bool data = false;                   // the run writes its data files
  bool measurements = false;           // the run writes its measurement file
  bool measured_by_formatter = false;  // the formatter measures the events it is handed
};
// From the run's settings (and who measures, which the state says).
SavingConfig Saving_ConfigOf(const RunState& st, const RunConfig& cfg);

// The parts of the state the writer works with, and nothing else: the run's files, the queue
// of events handed over, the run's measurement sums (the formatter's when it measures), the
// message log, and the run's flags it watches or raises.
struct SavingParts {
  FileData& files;
  SaveRing& queue;
  MeasurementData& meas;
  MessageLog& log;
  Clock& clock;
  ThreadPool& pool;
  std::atomic_ref<std::int32_t> stop_request;
  const AtomicI32& running;     // AcquisitionRunning
  const AtomicI32& generation;  // AcquisitionGeneration
};
SavingParts Saving_PartsOf(State& st);

// Which files Open_FileForSavingData opens.
enum class OpenFiles {
  NewRun,         // the run directory and the run's first files
  NextSplitFile,  // the next data file of a split run (the measurement file stays open)
};
// kDone; kNotDone when the user declined to replace an earlier run's files; kFailed (told).
// Does nothing and answers kDone when neither saving option is on.
Status Open_FileForSavingData(State& st, const RunConfig& cfg, const std::string& directory,
                              OpenFiles which);
// Which of the run's open files Close_FileForSavingData closes.
enum class CloseFiles {
  DataFile,         // the data file alone: the next file of a split run follows
  MeasurementFile,  // the measurement file alone
  Both,             // the run's end
};
void Close_FileForSavingData(State& st, const RunConfig& cfg, CloseFiles which);
// Schedules the writer thread on the pool. Without memory for the saving queue, tells so and
// stops the run for good instead.
void Start_SaveDataInFileThread(State& st, const RunConfig& cfg);
// The writer loop: writes every event of the saving queue, in order, until the acquisition
// of the generation ends, and flushes the files every second.
void Save_DataInFile(SavingParts parts, SavingConfig config, int generation);
// Hands an event over to the writer (acquisition thread): copies what the files need of it
// and of the run into the queue's next slot, waiting while the queue is full.
void Queue_EventForSaving(RunState& st, RunOutput& output, const RunConfig& cfg,
                          const DecodedEvent& event);
// Waits until the writer has written every event handed over (acquisition thread).
void Wait_SavingQueueEmpty(RunOutput& st);
// Makes the data file's record of an event handed over (the formatter's work for one event).
void Format_DataRecord(SavedEvent& ev);
// Writes one event handed over into the open files (the writer's work for one event),
// formatting its data record here unless the formatter made it.
void Write_EventInFiles(SavingParts& parts, const SavingConfig& config, const SavedEvent& ev);
// Events of the run in its data files (the measurement file when only that one is
// written) that are still on disk where the run put them, counting the file being written
// as far as it is written. After the run, or with io_mutex held.
std::int64_t Saved_EventCount(const FileData& files, bool data_files);
std::int64_t Saved_EventCount(const RunOutput& output, const Settings& st);
// A file of the run failed to write, or was removed: the run saves nothing more.
bool Saving_Failed(const RunOutput& st);
// The log file of this program run copied into the run directory.
void Copy_LogFileToRunDirectory(RunOutput& st, MessageLog& log, const RunConfig& cfg);

}  // namespace vx
