// The INL correction table of one SAM block channel as a text file under the user
// directory's INL_Files folder: a title line, an empty line, then 128 lines of 8 values
// ("%09.3f\t" each) followed by "cell = 8j to 8j + 7".
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

inline constexpr int kInlFileValuesPerLine = 8;
inline constexpr int kInlFileDataLines = 128;
// Larger corrections (in ps) are not time corrections of a 1024-cell ring.
inline constexpr double kInlFileMaxAbsPs = 1.0e6;

std::string Inl_FileName(int board_version, int block, int channel);
std::filesystem::path Inl_FilePath(const BoardLink& st, FrontEndLinks& links, int block,
                                   int channel);

// The text of a file holding `values`, with CR LF line ends.
std::string Format_INLFile(const std::array<double, kMaxSamples>& values);

// The values of a file's text, or the first fault found: its 1-based line and what is wrong.
struct InlFileParse {
  std::array<double, kMaxSamples> values{};
  bool empty = false;  // the file has no first line
  int error_line = 0;  // 0 when the text was read
  std::string error;
};
InlFileParse Parse_INLFile(std::string_view text);

// Writes TimePedestals of the block channel; 1 when written, 0 otherwise (reported).
int Save_INL_In_File(BoardPort port, int block, int channel);
// Fills TimePedestals of the block channel from its file; 1 when read. A missing or empty
// file zeroes the table; a file that fails validation leaves the table as it was.
int Veltrix_Read_INL_From_File(BoardPort port, int block, int channel);

}  // namespace vx
