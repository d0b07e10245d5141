// Byte-level reads and writes of a daughter board's EEPROM through the digitizer library.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/state.h"

namespace vx {

// Daughter boards of the connected board (two SAM blocks each).
int daughter_board_count(const Settings& st);
// True with a board connected; otherwise says so as an error.
bool eeprom_reachable(BoardLink& st, MessageLog& log);
// The boards an action goes to: d when it exists, every board for -1; each refusal is
// reported and gives an empty list.
std::vector<int> eeprom_boards(Settings& st, BoardLink& link, MessageLog& log, int d);

// Every read is checked: a failure (no board, a range past the end, the library's refusal)
// is reported as an error naming the daughter board, what was read (`what`) and the address,
// and gives nothing, so that a failed read never becomes a table or a marker.
std::optional<std::vector<std::uint8_t>> eeprom_read(BoardLink& st, MessageLog& log,
                                                     int daughter_board, std::uint16_t address,
                                                     std::uint32_t count, std::string_view what);
std::optional<std::uint8_t> eeprom_read_byte(BoardLink& st, MessageLog& log, int daughter_board,
                                             std::uint16_t address, std::string_view what);
// A NUL-terminated text of at most size bytes.
std::optional<std::string> eeprom_read_text(BoardLink& st, MessageLog& log, int daughter_board,
                                            std::uint16_t address, std::uint32_t size,
                                            std::string_view what);
// The same read without the report, for callers that say themselves what failed (dumps,
// the low-level listing): false when it failed.
bool eeprom_read_checked(BoardLink& st, int daughter_board, std::uint32_t address,
                         std::span<std::uint8_t> out);

// Writes and reports a failure as an error naming the board and address; true on success.
// A range past the end of the EEPROM is refused without calling the library.
bool eeprom_write(BoardLink& st, MessageLog& log, int daughter_board, std::uint32_t address,
                  std::span<const std::uint8_t> bytes);
bool eeprom_write_byte(BoardLink& st, MessageLog& log, int daughter_board, std::uint16_t address,
                       std::uint8_t value);

// True when both blocks' markers of a calibration item hold their values; false when
// either does not or could not be read.
bool calibration_valid(BoardLink& st, MessageLog& log, int daughter_board, std::uint16_t marker_a);

// One item's data and its marker. The marker is cleared first and set again only after
// every area was written, so that a write that fails or is cut short leaves the item
// invalid rather than an old marker vouching for half-new data.
struct EepromArea {
  std::uint16_t address;
  std::vector<std::uint8_t> bytes;
};
bool write_marked_item(BoardLink& st, MessageLog& log, int daughter_board,
                       std::uint16_t marker_address, std::uint8_t marker,
                       const std::vector<EepromArea>& areas);
// A calibration item spread over both blocks of a board (its marker given for block A):
// both markers are cleared before either block is written, so that an item whose block B
// write fails is not vouched for by block A's marker over old block B data. Then block A's
// areas and marker, block B's areas and marker.
bool write_calibration_item(BoardLink& st, MessageLog& log, int daughter_board,
                            std::uint16_t marker_a, const std::vector<EepromArea>& block_a,
                            const std::vector<EepromArea>& block_b);

}  // namespace vx
