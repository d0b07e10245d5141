#include "files/setup_unit.h"

#include <cstdio>
#include <cstring>

#include "app/message_log.h"
#include "digitizer/dacs.h"
#include "eeprom/calibration_tables.h"
#include "files/quoted_text.h"

namespace vx {

namespace {

void keep_identity(const SAMBlockParams& unit, SAMBlockParams& image) {
  image.BoardGain = unit.BoardGain;
  image.OffsetGain = unit.OffsetGain;
  image.SerialNumberMajor = unit.SerialNumberMajor;
  image.SerialNumberMinor = unit.SerialNumberMinor;
  image.SCAType = unit.SCAType;
  image.SAMLongType = unit.SAMLongType;
  image.ACDCCoupling = unit.ACDCCoupling;
}

std::string shown_path(const std::string& file) {
  return Escaped_FileText(file, 600);
}

}  // namespace

std::uint32_t Setup_UnitSerial(const BoardParams& board) {
  BoardInfo info{};
  std::memcpy(&info, board.BoardInfo, sizeof info);
  return info.SerialNumber;
}

ChangedBlocks Keep_UnitFields(Settings& st, MessageLog& log, const BoardParams& file_board,
                              SetupImages& images, int blocks, const std::string& file) {
  ChangedBlocks changed{};
  const std::uint32_t saved_on = Setup_UnitSerial(file_board);
  const std::uint32_t this_unit = Setup_UnitSerial(st.board);
  for (int b = 0; b < blocks; ++b) {
    if (saved_on != this_unit) {
      keep_identity(st.sam[b], images.sam[b]);
      put_line_dac_settings(images.sam[b], line_dac_settings(st.sam[b]));
    } else {
      changed[b] = !line_dac_settings(images.sam[b]).same_effect(line_dac_settings(st.sam[b]));
    }
  }
  if (saved_on != this_unit && blocks > 0) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "' was saved on unit %u, not on this one (%u): this unit's "
                  "SAM DAC Offsets are kept.\n",
                  saved_on, this_unit);
    Write_InfoMessage(log, "Setup file '" + shown_path(file) + text, kInfo);
  }
  return changed;
}

void Apply_SetupLineDacs(BoardPort port, const ChangedBlocks& changed, const std::string& file) {
  std::string blocks;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    if (!changed[b]) continue;
    Load_SamLineDacs(port, b, line_dac_settings(port.settings.sam[b]));
    port.link.calib.SamDacCodesHeld[b] = false;
    blocks += (blocks.empty() ? "" : ", ") + std::to_string(b);
  }
  if (blocks.empty()) return;
  Write_InfoMessage(port.links.log,
                    "WARNING: Setup file '" + shown_path(file) +
                        "' changes the SAM DAC Offsets of SAM blocks " + blocks +
                        ": they are loaded into the chips, and cannot be saved to FLASH before "
                        "a SAM DAC calibration.\n",
                    kWarning);
  Check_PedestalLineDacs(port, port, port.links.log);
}

}  // namespace vx
