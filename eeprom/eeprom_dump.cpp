#include "eeprom/eeprom_dump.h"

#include <cstdio>
#include <fstream>
#include <system_error>

#include "app/message_log.h"
#include "eeprom/eeprom_access.h"
#include "eeprom/eeprom_encoding.h"
#include "eeprom/eeprom_info.h"
#include "platform/eeprom_map.h"
#include "platform/format_text.h"

namespace vx {

namespace {

// The serial text of an image, when its marker is set and the text is "major.minor" with its
// terminator inside the field. Only such a text becomes part of a file name.
std::optional<std::string> valid_serial(std::span<const std::uint8_t> serial_field,
                                        std::uint8_t marker) {
  if (marker != eeprom::kSerialMarker) return std::nullopt;
  std::string text;
  for (std::uint8_t b : serial_field) {
    if (b == 0) {
      int major = 0, minor = 0;
      if (!eeprom::parse_serial(text, major, minor)) return std::nullopt;
      return text;
    }
    text.push_back(static_cast<char>(b));
  }
  return std::nullopt;
}

// Replaces the target only once every byte is on disk.
bool write_file(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
  auto tmp = target;
  tmp += ".tmp";
  std::error_code ec;
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::filesystem::remove(tmp, ec);
      return false;
    }
  }
  std::filesystem::rename(tmp, target, ec);
  if (ec) std::filesystem::remove(tmp, ec);
  return !ec;
}

int dump_one(BoardLink& st, FrontEndLinks& links, int d) {
  std::error_code ec;
  std::filesystem::create_directories(EEPROM_Dump_Directory(links), ec);
  const auto field = eeprom_read(st, links.log, d, eeprom::kSerial, 8, "the serial number");
  const auto marker =
      eeprom_read_byte(st, links.log, d, eeprom::kSerialValid, "the serial number's marker");
  const auto serial = field && marker ? valid_serial(*field, *marker) : std::nullopt;
  if (!serial) {
    Write_InfoMessage(
        links.log,
        format_text("Daughter Board %d serial number is invalid! Eeprom dump is aborted!\n", d),
        kError);
    return -1;
  }
  std::vector<std::uint8_t> bytes(kEepromDumpSize);
  if (!eeprom_read_checked(st, d, 0, bytes)) {
    Write_InfoMessage(
        links.log,
        format_text("Error while reading Daughter Board %d's EEPROM! Eeprom dump is aborted!\n", d),
        kError);
    return -1;
  }
  const auto file = EEPROM_Dump_File(links, *serial);
  if (!write_file(file, bytes)) {
    Write_InfoMessage(links.log, "Error while opening file for saving Setup!\n", kError);
    return -1;
  }
  Write_InfoMessage(links.log,
                    format_text("Flash Dump done for daughter board %d\n file name : '%s'\n", d,
                                file.string().c_str()),
                    kInfo);
  return 0;
}

}  // namespace

std::filesystem::path EEPROM_Dump_Directory(const FrontEndLinks& st) {
  return st.UserPath / "FlashDump";
}

std::filesystem::path EEPROM_Dump_File(const FrontEndLinks& st, const std::string& serial) {
  return EEPROM_Dump_Directory(st) / ("flash_dump_qvd_sernum_" + serial + ".dat");
}

int Dump_EEPROM_To_File(Settings& st, BoardLink& link, FrontEndLinks& links, int d) {
  const auto boards = eeprom_boards(st, link, links.log, d);
  if (boards.empty()) return -1;
  int result = 0;
  for (int b : boards)
    if (dump_one(link, links, b) != 0) result = -1;
  return result;
}

std::string EEPROM_Dump_Problem(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kEepromDumpSize)
    return format_text("it holds %zu bytes instead of %zu", bytes.size(), kEepromDumpSize);
  if (!valid_serial(bytes.subspan(eeprom::kSerial, 8), bytes[eeprom::kSerialValid]))
    return "its serial number area is not valid";
  return {};
}

std::optional<std::vector<std::uint8_t>> Read_EEPROM_DumpFile(FrontEndLinks& st,
                                                              const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    Write_InfoMessage(st, "Error while opening EEPROM dump file!\n", kError);
    return std::nullopt;
  }
  // One byte more than a dump holds tells a longer file apart without reading all of it.
  std::vector<std::uint8_t> bytes(kEepromDumpSize + 1);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) {
    Write_InfoMessage(st, "Error while opening EEPROM dump file!\n", kError);
    return std::nullopt;
  }
  const std::string problem = EEPROM_Dump_Problem(bytes);
  if (!problem.empty()) {
    Write_InfoMessage(st,
                      format_text("ERROR: '%s' is not an EEPROM dump: %s. Nothing was written!\n",
                                  file.string().c_str(), problem.c_str()),
                      kError);
    return std::nullopt;
  }
  return bytes;
}

int Write_EEPROM_From_DumpFile(Settings& st, BoardLink& link, FrontEndLinks& links, int d,
                               const std::filesystem::path& file) {
  if (d < 0) {
    Write_InfoMessage(links.log,
                      "ERROR: It is not possible to write EEPROM from a dump file with all "
                      "daughter boards selected!\n",
                      kError);
    return -1;
  }
  if (eeprom_boards(st, link, links.log, d).empty()) return -1;
  const auto bytes = Read_EEPROM_DumpFile(links, file);
  if (!bytes || !eeprom_write(link, links.log, d, 0, *bytes)) return -1;
  Write_InfoMessage(
      links.log,
      format_text("EEPROM written from dump file : '%s' to daughterboard index: %d \n",
                  file.string().c_str(), d),
      kInfo);
  return 0;
}

int Write_To_EEPROM_From_DumpFile(Settings& st, BoardLink& link, FrontEndLinks& links, int d) {
  if (d < 0)
    return Write_EEPROM_From_DumpFile(st, link, links, d, {});  // refused before any dialog
  std::error_code ec;
  std::filesystem::create_directories(EEPROM_Dump_Directory(links), ec);
  FileDialogRequest request;
  request.title = "Name of EEPROM dump file";
  request.initial_directory = EEPROM_Dump_Directory(links);
  request.default_name = "flash_dump_qvd_sernum_*.dat";
  request.filter = "*.dat";
  const auto file = links.ui.select_file(request);
  if (!file) {
    Write_InfoMessage(links.log, "Error : Error while opening file for saving Setup!\n", kError);
    return -1;
  }
  const int result = Write_EEPROM_From_DumpFile(st, link, links, d, *file);
  Read_EEPROM_Info(link, st, links, d);
  return result;
}

}  // namespace vx
