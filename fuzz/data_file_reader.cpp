// The replay reader on arbitrary bytes: the first byte picks the format (ASCII or binary),
// the rest is the file. Every input must end in a refused header or a clean end of data.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/state.h"
#include "files/data_file_reader.h"
#include "platform/null_front_end.h"

namespace {

struct FuzzCore {
  FuzzCore() {
    dir = std::filesystem::temp_directory_path() / ("veltrix-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    st.FileForSavingLogFile = "/dev/null";
  }
  vx::NullFrontEnd ui;
  vx::SystemClock clock;
  vx::ThreadPool pool{1};
  vx::State st{ui, clock, pool};
  std::filesystem::path dir;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzCore core;
  if (size == 0) return 0;
  const auto path = core.dir / ((data[0] & 1) != 0 ? "run_Binary.bin" : "run_Ascii.dat");
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  }
  vx::State& st = core.st;
  st.acq.NbOfSamplesInFile = 1024;
  st.acq.NbOfChannelsAcquiredInFile = 0;
  if (vx::Open_DataFileForLoading(st, path) == 1) {
    for (int i = 0; i < 10000 && vx::Read_EventsFromFile(st) == 1; ++i) {
    }
    vx::Close_FileForLoadingData(st);
  }
  return 0;
}
