#include "files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vx {

namespace {

// Refills the buffer when it is used up; false when the file has nothing more.
bool fill(InputFile& f) {
  if (f.pos < f.end) return true;
  if (f.at_end || !f.fd.valid()) return false;
  f.pos = 0;
  f.end = 0;
  for (;;) {
    const ssize_t rc = ::read(f.fd.get(), f.buffer.data(), f.buffer.size());
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) {
      f.at_end = true;  // a read error ends the data like the end of the file
      return false;
    }
    f.end = static_cast<std::size_t>(rc);
    return true;
  }
}

}  // namespace

bool open_input(InputFile& f, const std::filesystem::path& path) {
  // Not blocking on a FIFO or a device: those are refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  const int open_error = errno;
  f.fd.reset(fd);
  f.pos = f.end = 0;
  f.at_end = false;
  f.error_text.clear();
  if (!f.fd.valid()) {
    f.error_text = std::strerror(open_error);
    return false;
  }
  // A directory opens but cannot be read: only regular files are data files.
  struct stat info {};
  if (::fstat(f.fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    f.fd.reset();
    f.error_text = "not a regular file";
    return false;
  }
  // Reads of a regular file block as usual.
  ::fcntl(f.fd.get(), F_SETFL, ::fcntl(f.fd.get(), F_GETFL) & ~O_NONBLOCK);
  // A small file gets a small buffer: a short run, or the next file of a series.
  const auto size = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1;
  const std::size_t want = std::clamp(size, kMinInputBufferBytes, kInputBufferBytes);
  if (f.buffer.size() < want) f.buffer.resize(want);
  return true;
}

bool input_is_open(const InputFile& f) {
  return f.fd.valid();
}

void close_input(InputFile& f) {
  f.fd.reset();
  f.pos = f.end = 0;
  f.at_end = false;
}

bool read_line(InputFile& f, std::string& line, std::size_t max) {
  line.clear();
  if (max < 2) return false;
  while (line.size() < max - 1) {
    if (!fill(f)) break;
    const std::size_t want = std::min(f.end - f.pos, max - 1 - line.size());
    const char* start = f.buffer.data() + f.pos;
    const void* nl = std::memchr(start, '\n', want);
    const std::size_t take =
        nl != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nl) - start) + 1 : want;
    line.append(start, take);
    f.pos += take;
    if (nl != nullptr) break;
  }
  return !line.empty();
}

std::size_t read_bytes(InputFile& f, void* out, std::size_t n) {
  auto* dst = static_cast<char*>(out);
  std::size_t done = 0;
  while (done < n && fill(f)) {
    const std::size_t take = std::min(f.end - f.pos, n - done);
    std::memcpy(dst + done, f.buffer.data() + f.pos, take);
    f.pos += take;
    done += take;
  }
  return done;
}

bool input_at_end(InputFile& f) {
  return !fill(f);
}

}  // namespace vx
