// Writing a run file through a large buffer, record by record. A failed write (disk full,
// file size limit, file gone) cuts the file back to its last whole record, so what was
// written before stays readable, and marks the file failed.
#pragma once

#include <filesystem>

#include "app/file_data.h"

namespace vx {

inline constexpr std::size_t kOutputFlushBytes = std::size_t{4} << 20;
// During a run the writer also flushes at this interval, bounding what a crash loses.
inline constexpr double kOutputFlushSeconds = 1.0;

// Creates or empties the file. False when it cannot be opened, with the reason in error_text.
bool open_output(OutputFile& f, const std::filesystem::path& path);
bool output_is_open(const OutputFile& f);
// The bytes appended to f.pending since the last call form one whole record (an event,
// or a header); writes the pending records when enough are collected. False when the file
// has failed.
bool end_record(OutputFile& f, bool event = true);
// Writes every pending record. False when the file has failed.
bool flush_output(OutputFile& f);
// Flushes and closes. False when the file failed at any point or cannot be closed.
bool close_output(OutputFile& f);
// The file's path still leads to the file that was opened: it was not removed, nor its
// directory, nor replaced by another one.
bool output_on_disk(const OutputFile& f);
bool file_on_disk(const std::filesystem::path& path, std::uint64_t device, std::uint64_t inode);
// Marks the file failed with the reason given (nothing more is written into it).
void fail_output(OutputFile& f, const std::string& reason);

}  // namespace vx
