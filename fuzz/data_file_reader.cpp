// The replay reader on arbitrary bytes: the first byte picks the format (bit 0: binary,
// else ASCII), the rest is the file, followed by the series' next file (_0001) after a line
// "@@next file@@" when there is one. Every input must end in a refused header or a clean
// end of data, with each event read numbered and within the event record.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/state.h"
#include "files/data_file_reader.h"
#include "platform/null_front_end.h"

namespace {

struct FuzzCore {
  FuzzCore() {
    dir = std::filesystem::temp_directory_path() / ("veltrix-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    st.log.file = "/dev/null";
  }
  vx::NullFrontEnd ui;
  vx::SystemClock clock;
  vx::ThreadPool pool{1};
  vx::State st{ui, clock, pool};
  std::filesystem::path dir;
};

void put(const std::filesystem::path& path, std::string_view bytes) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzCore core;
  if (size == 0) return 0;
  const auto path = core.dir / ((data[0] & 1) != 0 ? "run_Binary.bin" : "run_Ascii.dat");
  auto next = path;
  next += "_0001";
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  constexpr std::string_view kSeparator = "\n@@next file@@\n";
  std::error_code ec;
  std::filesystem::remove(next, ec);
  if (const auto cut = rest.find(kSeparator); cut != std::string_view::npos) {
    put(next, rest.substr(cut + kSeparator.size()));
    rest = rest.substr(0, cut);
  }
  put(path, rest);

  vx::State& st = core.st;
  st.acq.NbOfSamplesInFile = 1024;
  st.acq.NbOfChannelsAcquiredInFile = 0;
  st.StopRequest().store(0);
  if (vx::Open_DataFileForLoading(st, path) == 1) {
    for (int i = 0; i < 10000; ++i) {
      if (vx::Read_EventsFromFile(st) != 1 && vx::Load_EventFromNextFile(st) != 1) break;
      if (st.acq.NbOfSamplesInFile < 0 || st.acq.NbOfSamplesInFile > vx::kMaxSamples) std::abort();
    }
    vx::Close_FileForLoadingData(st, st);
  }
  return 0;
}
