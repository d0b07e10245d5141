#include "files/inl_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/message_log.h"
#include "files/quoted_text.h"

namespace vx {
namespace {

constexpr const char* kTitle = "Calibration values (ps) from cell 0 to 1023 : ";
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;

std::string with_path(const char* fmt, const std::string& path) {
  std::vector<char> text(std::strlen(fmt) + path.size() + 1);
  std::snprintf(text.data(), text.size(), fmt, path.c_str());
  return text.data();
}

// Lines without their LF or CR LF ends; a last line without an end counts too.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool blank(std::string_view s) {
  return s.find_first_not_of(" \t") == std::string_view::npos;
}

// One whole field as a number: optional spaces around a decimal number, nothing else.
std::optional<double> number(std::string_view field) {
  const auto first = field.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::nullopt;
  const auto last = field.find_last_not_of(' ');
  const std::string s(field.substr(first, last - first + 1));
  if (s.find_first_not_of("+-.0123456789eE") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || errno == ERANGE) return std::nullopt;
  return v;
}

}  // namespace

std::string Inl_FileName(int board_version, int block, int channel) {
  char name[96];
  std::snprintf(name, sizeof name, "INL_Calib_V%x-SAMBlock_%d_Ch%d.txt",
                static_cast<unsigned>(board_version), block, channel);
  return name;
}

std::filesystem::path Inl_FilePath(const BoardLink& st, FrontEndLinks& links, int block,
                                   int channel) {
  return links.UserPath / "INL_Files" /
         Inl_FileName(st.BoardVersionFromFPGA[block], block, channel);
}

std::string Format_INLFile(const std::array<double, kMaxSamples>& values) {
  std::string out = std::string(kTitle) + "\r\n\r\n";
  char text[64];
  for (int j = 0; j < kInlFileDataLines; ++j) {
    for (int k = 0; k < kInlFileValuesPerLine; ++k) {
      std::snprintf(text, sizeof text, "%09.3f\t", values[kInlFileValuesPerLine * j + k]);
      out += text;
    }
    std::snprintf(text, sizeof text, "cell = %d to %d\r\n", 8 * j, 8 * j + 7);
    out += text;
  }
  return out;
}

InlFileParse Parse_INLFile(std::string_view text) {
  InlFileParse r;
  const auto lines = split_lines(text);
  if (lines.empty()) {
    r.empty = true;
    return r;
  }
  auto fail = [&r](int line, std::string why) {
    r.error_line = line;
    r.error = std::move(why);
    return r;
  };
  for (int j = 0; j < kInlFileDataLines; ++j) {
    const int line_number = j + 3;
    const std::size_t index = static_cast<std::size_t>(j) + 2;
    if (index >= lines.size()) {
      return fail(line_number, "the file ends after " + std::to_string(j) + " of " +
                                   std::to_string(kInlFileDataLines) + " value lines");
    }
    std::string_view line = lines[index];
    for (int k = 0; k < kInlFileValuesPerLine; ++k) {
      const auto tab = line.find('\t');
      if (tab == std::string_view::npos) {
        return fail(line_number, std::to_string(k) + " values instead of " +
                                     std::to_string(kInlFileValuesPerLine));
      }
      const auto v = number(line.substr(0, tab));
      if (!v) {
        return fail(line_number, "value " + std::to_string(k + 1) + " is not a number ('" +
                                     Escaped_FileText(line.substr(0, tab), 24) + "')");
      }
      if (!std::isfinite(*v) || std::fabs(*v) > kInlFileMaxAbsPs) {
        return fail(line_number, "value " + std::to_string(k + 1) + " is out of range");
      }
      r.values[static_cast<std::size_t>(kInlFileValuesPerLine * j + k)] = *v;
      line.remove_prefix(tab + 1);
    }
    if (!line.starts_with("cell = ")) {
      return fail(line_number, "more than " + std::to_string(kInlFileValuesPerLine) +
                                   " values, or no 'cell = ' label after them");
    }
  }
  for (std::size_t i = kInlFileDataLines + 2; i < lines.size(); ++i) {
    if (!blank(lines[i])) return fail(static_cast<int>(i) + 1, "unexpected text after the table");
  }
  return r;
}

int Save_INL_In_File(BoardPort port, int block, int channel) {
  if (block < 0 || block >= kMaxSamBlocks || channel < 0 || channel >= kChannelsPerBlock) return 0;
  const auto path = Inl_FilePath(port, port, block, channel);
  const auto& values = port.link.calib.TimePedestals[block][channel];
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  bool ok = true;
  for (double v : values) ok = ok && std::isfinite(v);
  auto temporary = path;
  temporary += ".tmp";
  if (ok) {
    const std::string text = Format_INLFile(values);
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    ok = f != nullptr;
    if (f != nullptr) {
      ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
      ok = std::fclose(f) == 0 && ok;
    }
    if (ok) std::filesystem::rename(temporary, path, ec);
    ok = ok && !ec;
  }
  if (!ok) {
    std::filesystem::remove(temporary, ec);
    Write_InfoMessage(
        port, with_path("ERROR: INL calibration file '%s' could not be written!\n", path.string()),
        kError);
    return 0;
  }
  Write_InfoMessage(port.links.log,
                    with_path("INL calibration file '%s' saved successfully.\n", path.string()),
                    kInfo);
  return 1;
}

int Veltrix_Read_INL_From_File(BoardPort port, int block, int channel) {
  if (block < 0 || block >= kMaxSamBlocks || channel < 0 || channel >= kChannelsPerBlock) return 0;
  const auto path = Inl_FilePath(port, port, block, channel);
  auto& table = port.link.calib.TimePedestals[block][channel];
  std::ifstream in(path, std::ios::binary);
  std::error_code ec;
  if (!in || std::filesystem::is_directory(path, ec)) {
    Write_InfoMessage(
        port, with_path("WARNING: INL correction file '%s' was not found!\n", path.string()),
        kWarning);
    table.fill(0.0);
    port.link.calib.TimePedestalsHeld[block][channel] = false;
    return 0;
  }
  std::string text(kMaxFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  InlFileParse parsed;
  if (text.size() > kMaxFileBytes) {
    parsed.error_line = 1;
    parsed.error = "the file is far too large for an INL table";
  } else {
    parsed = Parse_INLFile(text);
  }
  if (parsed.empty) {
    Write_InfoMessage(
        port, with_path("WARNING : INL correction file '%s' is empty!\n", path.string()), kWarning);
    table.fill(0.0);
    port.link.calib.TimePedestalsHeld[block][channel] = false;
    return 0;
  }
  if (parsed.error_line != 0) {
    Write_InfoMessage(port.links.log,
                      with_path("ERROR: INL correction file '%s'", path.string()) + ", line " +
                          std::to_string(parsed.error_line) + ": " + parsed.error +
                          ". The INL values were left unchanged.\n",
                      kError);
    return 0;
  }
  table = parsed.values;
  port.link.calib.TimePedestalsHeld[block][channel] = true;
  Write_InfoMessage(port.links.log,
                    with_path("INL correction values loaded from file '%s'.\n", path.string()),
                    kInfo);
  return 1;
}

}  // namespace vx
