#include "files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vx {

namespace {

void fail(OutputFile& f, int error) {
  fail_output(f, std::strerror(error));
}

// Writes n bytes; returns how many reached the file before an error (errno kept).
std::size_t write_all(int fd, const char* p, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t rc = ::write(fd, p + done, n - done);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return done;
    }
    if (rc == 0) {
      errno = EIO;
      return done;
    }
    done += static_cast<std::size_t>(rc);
  }
  return done;
}

}  // namespace

bool open_output(OutputFile& f, const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int open_error = errno;
  f.fd.reset(fd);
  f.path = path;
  f.pending.size = 0;
  f.record_ends.clear();
  f.committed = 0;
  f.events_committed = 0;
  f.failed = false;
  f.error_text.clear();
  f.device = f.inode = 0;
  if (!f.fd.valid()) {
    f.error_text = std::strerror(open_error);
    return false;
  }
  struct stat info {};
  if (::fstat(f.fd.get(), &info) == 0) {
    f.device = info.st_dev;
    f.inode = info.st_ino;
  }
  return true;
}

void fail_output(OutputFile& f, const std::string& reason) {
  f.failed = true;
  f.error_text = reason;
  f.pending.size = 0;
  f.record_ends.clear();
}

bool file_on_disk(const std::filesystem::path& path, std::uint64_t device, std::uint64_t inode) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

bool output_on_disk(const OutputFile& f) {
  return file_on_disk(f.path, f.device, f.inode);
}

bool output_is_open(const OutputFile& f) {
  return f.fd.valid();
}

bool end_record(OutputFile& f, bool event) {
  if (f.failed) {
    f.pending.size = 0;
    return false;
  }
  f.record_ends.push_back({f.pending.size, event});
  if (f.pending.size >= kOutputFlushBytes) return flush_output(f);
  return true;
}

bool flush_output(OutputFile& f) {
  if (f.failed || !f.fd.valid()) return !f.failed;
  // Bytes appended after the last whole record are not written yet.
  const std::size_t whole = f.record_ends.empty() ? 0 : f.record_ends.back().end;
  if (whole == 0) return true;
  const std::size_t written = write_all(f.fd.get(), f.pending.data.data(), whole);
  if (written == whole) {
    f.committed += whole;
    for (const RecordEnd& r : f.record_ends) f.events_committed += r.event ? 1 : 0;
    const std::size_t rest = f.pending.size - whole;
    std::memmove(f.pending.data.data(), f.pending.data.data() + whole, rest);
    f.pending.size = rest;
    f.record_ends.clear();
    return true;
  }
  const int error = errno;
  std::size_t kept = 0;
  std::int64_t kept_events = 0;
  for (const RecordEnd& r : f.record_ends) {
    if (r.end > written) break;
    kept = r.end;
    kept_events += r.event ? 1 : 0;
  }
  // Shrinking a file works on a full disk and below a size limit.
  if (::ftruncate(f.fd.get(), static_cast<off_t>(f.committed + kept)) == 0) {
    f.committed += kept;
    f.events_committed += kept_events;
  }
  fail(f, error);
  return false;
}

bool close_output(OutputFile& f) {
  if (!f.fd.valid()) return !f.failed;
  flush_output(f);
  if (f.fd.reset() != 0 && !f.failed) fail(f, errno);
  return !f.failed;
}

}  // namespace vx
