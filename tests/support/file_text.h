// Files read and written whole by the tests: the bytes, the lines, the numbers of the lines
// and the files a run left under a directory.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace vx::test {

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Creates the parent directories.
inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::vector<std::string> file_lines(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The numbers of each line of a text file, the "===" header lines left out.
inline std::vector<std::vector<double>> number_lines(const std::filesystem::path& path) {
  std::vector<std::vector<double>> out;
  for (const std::string& line : file_lines(path)) {
    if (line.rfind("===", 0) == 0) continue;
    std::istringstream s(line);
    std::vector<double> v;
    for (double x; s >> x;) v.push_back(x);
    out.push_back(std::move(v));
  }
  return out;
}

// Every regular file below dir whose path ends with suffix.
inline std::vector<std::filesystem::path> files_under(const std::filesystem::path& dir,
                                                      const std::string& suffix = "") {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().string().ends_with(suffix)) found.push_back(e.path());
  return found;
}

}  // namespace vx::test
