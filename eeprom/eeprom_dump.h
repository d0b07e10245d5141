// Whole-EEPROM dump files: the first 65 535 bytes of a daughter board's EEPROM, raw, in the
// FlashDump folder of the user data directory, named after the board's serial number; and
// writing such a file back onto a board.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/state.h"

namespace vx {

inline constexpr std::size_t kEepromDumpSize = 65535;

std::filesystem::path EEPROM_Dump_Directory(const FrontEndLinks& st);
std::filesystem::path EEPROM_Dump_File(const FrontEndLinks& st, const std::string& serial);

// Dumps one board, or every board for -1. Returns 0, or -1 when a dump was aborted.
int Dump_EEPROM_To_File(Settings& st, BoardLink& link, FrontEndLinks& links, int daughter_board);

// Why a dump's bytes cannot be written to a board; empty when they can: exactly
// kEepromDumpSize bytes and a serial area that a board would read as valid.
std::string EEPROM_Dump_Problem(std::span<const std::uint8_t> bytes);
// Reads and checks a dump file; the problem is reported and nothing is returned.
std::optional<std::vector<std::uint8_t>> Read_EEPROM_DumpFile(FrontEndLinks& st,
                                                              const std::filesystem::path& file);
// Writes a checked dump file from address 0 of one board (a dump can go to any board).
int Write_EEPROM_From_DumpFile(Settings& st, BoardLink& link, FrontEndLinks& links,
                               int daughter_board, const std::filesystem::path& file);
// The same with the file chosen in a dialog opened in the dump folder, then the board's
// information is read again.
int Write_To_EEPROM_From_DumpFile(Settings& st, BoardLink& link, FrontEndLinks& links,
                                  int daughter_board);

}  // namespace vx
