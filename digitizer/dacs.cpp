#include "digitizer/dacs.h"

#include "app/dac_conversions.h"
#include "app/message_log.h"
#include "digitizer/board_configuration.h"
#include "digitizer/register_access.h"

namespace vx {

namespace {

void load_block_dacs(BoardLink& st, Settings& settings, int kind, int b, bool with_mean_threshold) {
  const SAMBlockParams& blk = settings.sam[b];
  for (int dac = 0; dac < 4; ++dac) {
    if (kind != 4 && kind != dac) continue;
    const int c = dac % 2;
    const auto channel = static_cast<std::uint32_t>(2 * b + c);
    if (dac < 2) {
      float volts = blk.TriggerThreshold[c];
      if (with_mean_threshold) volts += st.calib.MeanThreshold[b][c];
      const std::uint32_t code = Calculate_ThresholdDACIntValues(volts);
      st.digitizer->SetChannelTriggerThreshold(st.DeviceHandle.load(), channel, code);
    } else {
      const float volts = blk.DCOffset[c] / blk.OffsetGain;
      const auto code = static_cast<std::uint32_t>(Calculate_OffsetDACIntValues(volts));
      st.digitizer->SetChannelDCOffset(st.DeviceHandle.load(), channel, code);
    }
  }
}

void set_sam_reg2_bit(BoardPort port, int block, int bit, bool on) {
  const int first = block < 0 ? 0 : block;
  const int last = block < 0 ? board_blocks(port) : block + 1;
  for (int b = first; b < last && b < kMaxSamBlocks; ++b) {
    const std::uint16_t reg = port.settings.sam[b].SamReg2;  // packed field: by value
    port.settings.sam[b].SamReg2 =
        static_cast<std::uint16_t>(on ? (reg | (1u << bit)) : (reg & ~(1u << bit)));
    Load_HardwareSetup(port, 1, b);
  }
  port.links.ui.refresh_panel(Panel::SlowControl);
}

}  // namespace

void Load_DACs(BoardPort port, int kind, int block) {
  const int blocks = board_blocks(port);
  if (blocks == 0) return;
  BoardAccess access(port);
  if (!board_usable(port)) return;
  if (block >= 0) {
    if (block < blocks) load_block_dacs(port, port, kind, block, true);
    return;
  }
  for (int b = 0; b < blocks; ++b) load_block_dacs(port, port, kind, b, false);
}

void Update_TriggerThreshold(BoardPort port, int channel) {
  if (channel < 0 || channel >= kMaxChannels) return;
  int b = 0, c = 0;
  Get_HardwareIndexFromChannel(channel, &b, &c);
  GuiParams& g = port.settings.gui;
  g.ThresholdMin[channel] = port.settings.sam[b].DCOffset[c] - 1.25f;
  g.ThresholdMax[channel] = port.settings.sam[b].DCOffset[c] + 1.25f;
  if (g.ThresholdVolts[channel] > g.ThresholdMax[channel])
    g.ThresholdVolts[channel] = g.ThresholdMax[channel];
  if (g.ThresholdVolts[channel] < g.ThresholdMin[channel])
    g.ThresholdVolts[channel] = g.ThresholdMin[channel];
  port.settings.sam[b].TriggerThreshold[c] = g.ThresholdVolts[channel];
  Load_DACs(port, c, b);
}

void Set_ChannelOffset(BoardPort port, int channel, float volts) {
  if (channel < 0 || channel >= kMaxChannels) return;
  int b = 0, c = 0;
  Get_HardwareIndexFromChannel(channel, &b, &c);
  port.settings.sam[b].DCOffset[c] = volts;
  Load_DACs(port, 2 + c, b);
  Update_TriggerThreshold(port, channel);
  FrontEndLinks& links = port.links;
  Write_InfoMessage(
      links.log,
      "The threshold range values displayed in the TRIGGER TAB panel are adjusted automatically "
      "with respect to the selected Offset.\n But be aware that the real threshold is applied on "
      "the input signal (before offset application) with an effective range value between -1.25 V "
      "and 1.25 V! \n",
      links.FirstOffsetWarningShown ? kInfo : kWarning);
  links.FirstOffsetWarningShown = true;
  links.ui.refresh_panel(Panel::AllValues);
}

void Get_HardwareIndexFromChannel(int channel, int* block, int* channel_in_block) {
  *block = channel / 2;
  *channel_in_block = channel % 2;
}

void Start_RateCounters(BoardPort port, int block) {
  const std::uint32_t address = block < 0 ? 0x8020u : 0x1020u + 0x100u * block;
  Write_Register(port, port.link.DeviceHandle.load(), 1, address);
}

void Read_RateCounters(BoardPort port, int block, DecodedEvent& event) {
  if (block < 0 || block >= kMaxSamBlocks) return;
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    std::uint32_t value = 0;
    const std::uint32_t address = (c == 0 ? 0x106Cu : 0x1094u) + 0x100u * block;
    Read_Register(port, port.link.DeviceHandle.load(), &value, address);
    event.TrigCount[block][c] = static_cast<std::uint16_t>(value & 0xFFFF);
    event.TimeCount[block][c] = static_cast<std::uint16_t>(value >> 16);
  }
}

void Enable_SamDacs(BoardPort port, int block) {
  set_sam_reg2_bit(port, block, 5, true);
}

void Load_SamDacLSB(BoardPort port, int block, int lsb1, int lsb2) {
  const int first = block < 0 ? 0 : block;
  const int last = block < 0 ? board_blocks(port) : block + 1;
  for (int b = first; b < last && b < kMaxSamBlocks; ++b) {
    std::uint16_t reg = port.settings.sam[b].SamReg2;  // packed field: by value
    reg = static_cast<std::uint16_t>(lsb1 == 1 ? (reg | 0x40u) : (reg & ~0x40u));
    reg = static_cast<std::uint16_t>(lsb2 == 1 ? (reg | 0x80u) : (reg & ~0x80u));
    port.settings.sam[b].SamReg2 = reg;
    Load_HardwareSetup(port, 1, b);
  }
  port.links.ui.refresh_panel(Panel::SlowControl);
}

void Load_SamLineDacs(BoardPort port, int block, const LineDacSettings& settings) {
  if (block < 0 || block >= kMaxSamBlocks) return;
  put_line_dac_settings(port.settings.sam[block], settings);
  Load_HardwareSetup(port, 1, block);
  // The codes count only while the DACs are on.
  if (settings.enabled()) Load_HardwareSetup(port, 6, block);
}

}  // namespace vx
