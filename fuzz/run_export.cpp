// The HDF5 export on an arbitrary run file and measurement file. The first byte picks the
// format (bit 0: binary) and the answer to the question about another software version
// (bit 1); the rest is the data file, followed by the measurement file after a line
// "@@measurements@@" when there is one. Every input ends in an exported file or in an
// error that names the reason with no output left behind.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "files/hdf5_export.h"

namespace {

namespace fs = std::filesystem;

void put(const fs::path& path, std::string_view bytes) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path dir = [] {
    auto d = fs::temp_directory_path() / ("veltrix-fuzz-export-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  if (size == 0) return 0;
  const bool binary = (data[0] & 1) != 0;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  constexpr std::string_view kSeparator = "\n@@measurements@@\n";
  const auto cut = rest.find(kSeparator);
  const std::string name = binary ? "run1_Binary.bin" : "run1_Ascii.dat";
  std::error_code ec;
  fs::remove(dir / ("measurements_" + name), ec);
  if (cut != std::string_view::npos) {
    put(dir / ("measurements_" + name), rest.substr(cut + kSeparator.size()));
    rest = rest.substr(0, cut);
  }
  put(dir / name, rest);

  vx::ExportRequest request;
  request.run_file = dir / name;
  request.output = dir / "run1.h5";
  request.overwrite = true;
  request.accept_other_version = (data[0] & 2) != 0;
  const vx::ExportResult result = vx::Export_RunToHdf5(request);
  const bool there = fs::exists(request.output, ec);
  if (result.ok != there) std::abort();
  if (!result.ok && result.error.empty()) std::abort();
  if (there) fs::remove(request.output, ec);
  return 0;
}
