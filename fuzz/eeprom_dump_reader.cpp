// The EEPROM dump reader on arbitrary files: every input is either refused or accepted as
// exactly one EEPROM image whose serial area a board would read as valid.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/state.h"
#include "eeprom/eeprom_dump.h"
#include "eeprom/eeprom_encoding.h"
#include "platform/eeprom_map.h"
#include "platform/null_front_end.h"

namespace {

struct FuzzCore {
  FuzzCore() {
    dir = std::filesystem::temp_directory_path() / ("veltrix-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    st.log.file = "/dev/null";
    st.UserPath = dir;
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
  const auto path = core.dir / "flash_dump_qvd_sernum_fuzz.dat";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  const auto bytes = vx::Read_EEPROM_DumpFile(core.st, path);
  if (bytes) {
    if (bytes->size() != vx::kEepromDumpSize || (*bytes)[vx::eeprom::kSerialValid] != 0xC8)
      std::abort();
    int major = 0, minor = 0;
    const std::string serial(reinterpret_cast<const char*>(bytes->data()));
    if (serial.size() > 7 || !vx::eeprom::parse_serial(serial, major, minor)) std::abort();
  }
  // No board: the write is refused or fails, never crashes.
  vx::Write_EEPROM_From_DumpFile(core.st, core.st, core.st, 0, path);
  return 0;
}
