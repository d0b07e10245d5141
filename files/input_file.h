// Reading a replayed file through a large buffer: lines as fgets gives them, or bytes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "app/file_data.h"

namespace vx {

inline constexpr std::size_t kInputBufferBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMinInputBufferBytes = std::size_t{64} << 10;

bool open_input(InputFile& f, const std::filesystem::path& path);
bool input_is_open(const InputFile& f);
void close_input(InputFile& f);
// Reads up to and including the next line feed, but at most max - 1 characters (the rest
// of a longer line is the next read). False when nothing is left.
bool read_line(InputFile& f, std::string& line, std::size_t max);
// Reads up to n bytes; returns how many were read (fewer only at the end of the file).
std::size_t read_bytes(InputFile& f, void* out, std::size_t n);
// Nothing more can be read: the end of the file (or a read error) is reached.
bool input_at_end(InputFile& f);

}  // namespace vx
