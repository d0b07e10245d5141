// State of the run data files: the writer's open files with their pending bytes, and the
// replay reader's open file. Written by the run-control and writer threads in turn, never
// at the same time: the acquisition loop opens and closes files only once the writer has
// written every event handed over to it.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace vx {

// A file descriptor closed when its owner goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor; returns the result of close (0 when there was none).
  int reset(int fd = -1) {
    int rc = 0;
    if (fd_ >= 0) rc = ::close(fd_);
    fd_ = fd;
    return rc;
  }

 private:
  int fd_ = -1;
};

// Bytes appended at the end; size is the used part of data (data only grows).
struct ByteBuffer {
  std::vector<char> data;
  std::size_t size = 0;
};

// A data or measurement file being written. Records are collected in pending and written
// in large blocks; committed counts the bytes on disk that end on a whole record, so that
// a failed write can cut the file back to its last whole record.
struct RecordEnd {
  std::size_t end;  // within pending
  bool event;       // an event, not a header
};

struct OutputFile {
  UniqueFd fd;
  std::filesystem::path path;
  ByteBuffer pending;
  std::vector<RecordEnd> record_ends;  // the whole records within pending
  std::uint64_t committed = 0;
  std::int64_t events_committed = 0;  // events among the records on disk
  // A write failed: nothing more is written, the error was told. Set by whoever writes
  // the file (under FileData::io_mutex); the acquisition loop reads it without the lock.
  std::atomic<bool> failed{false};
  std::string error_text;               // what the system said about the failure
  std::uint64_t device = 0, inode = 0;  // the file's identity when it was opened
};

// A data file of the run already closed: where it is, what it was and the events it got.
struct ClosedFile {
  std::filesystem::path path;
  std::uint64_t device = 0, inode = 0;
  std::int64_t events = 0;
  std::uint64_t bytes = 0;  // as written
};

// The replayed file, read through a large buffer.
struct InputFile {
  UniqueFd fd;
  std::vector<char> buffer;
  std::size_t pos = 0;
  std::size_t end = 0;
  bool at_end = false;     // nothing more can be read from the descriptor
  std::string error_text;  // why the last open failed
};

// How a run's data files hold their events: fixed when the run's first data file opens, so
// that a display switch during the run cannot change the records in the middle of a file.
enum class EventFormat { Ascii, Binary, Spectra };

struct FileData {
  // Held by whoever touches the output files: the writer thread for its records and its
  // periodic flush, run control and the acquisition loop for opening and closing.
  mutable std::mutex io_mutex;
  OutputFile data;                              // the run's current data file
  OutputFile measurements;                      // the run's measurement file
  EventFormat DataFormat = EventFormat::Ascii;  // of the run's data files
  std::vector<ClosedFile> ClosedDataFiles;      // the run's earlier data files
  std::filesystem::path FileForSavingData;      // first data file of the run
  // The run directory, held open so that its identity cannot pass to another directory:
  // a split file opened after it was replaced would go into the replacement.
  UniqueFd RunDirFd;
  std::uint64_t RunDirDevice = 0, RunDirInode = 0;
  std::filesystem::path FileForSavingAllMeasurements;

  InputFile input;
  std::filesystem::path FileForReadingData;  // first file of the replayed series
  std::filesystem::path ReadingFilePath;     // file being read now
  bool ReplayFirstEvent = false;             // the next event read is the file's first
  // The channels of the series' first event, in the order its records hold them: every
  // later event of the series holds the same.
  std::vector<int> ReplayChannels;
  std::string ReplayVersion;   // software version in the first file's header
  std::string ReplayDataLine;  // the first file's event layout (header line 4)
  // The series' layout, from the first file's header: what the reader goes by, whatever the
  // records (which show it) say meanwhile.
  bool ReplayBinary = false;
  int ReplayBoardChannels = 0;
  int ReplaySamples = 0;
  int ReplayChannelsAcquired = 0;
  int WholeEventsRead = 0;  // whole events read from the series so far
  bool CutShort = false;    // the file being read ends inside an event, as a crash leaves it
  bool Damaged = false;     // the file being read holds an event that cannot be read (told)
  // A file missing in the middle of a series is skipped (and what it cost told) rather
  // than ending the replay with an error.
  bool SkipMissingFiles = false;
  int EventBeforeGap = -1;             // last event read before skipped files, -1 when none
  std::string MissingFiles;            // the files skipped, for the message after the gap
  std::string line;                    // reader's line scratch
  std::vector<unsigned char> records;  // reader's scratch: a binary event's channel records
};

}  // namespace vx
