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

void set_sam_reg2_bit(State& st, int block, int bit, bool on) {
  const int first = block < 0 ? 0 : block;
  const int last = block < 0 ? board_blocks(st) : block + 1;
  for (int b = first; b < last && b < kMaxSamBlocks; ++b) {
    const std::uint16_t reg = st.sam[b].SamReg2;  // packed field: by value
    st.sam[b].SamReg2 = static_cast<std::uint16_t>(on ? (reg | (1u << bit)) : (reg & ~(1u << bit)));
    Load_HardwareSetup(st, 1, b);
  }
  st.ui.refresh_panel(Panel::SlowControl);
}

}  // namespace

void Load_DACs(State& st, int kind, int block) {
  const int blocks = board_blocks(st);
  if (blocks == 0) return;
  BoardAccess access(st);
  if (!board_usable(st)) return;
  if (block >= 0) {
    if (block < blocks) load_block_dacs(st, st, kind, block, true);
    return;
  }
  for (int b = 0; b < blocks; ++b) load_block_dacs(st, st, kind, b, false);
}

void Update_TriggerThreshold(State& st, int channel) {
  if (channel < 0 || channel >= kMaxChannels) return;
  int b = 0, c = 0;
  Get_HardwareIndexFromChannel(channel, &b, &c);
  GuiParams& g = st.gui;
  g.ThresholdMin[channel] = st.sam[b].DCOffset[c] - 1.25f;
  g.ThresholdMax[channel] = st.sam[b].DCOffset[c] + 1.25f;
  if (g.ThresholdVolts[channel] > g.ThresholdMax[channel])
    g.ThresholdVolts[channel] = g.ThresholdMax[channel];
  if (g.ThresholdVolts[channel] < g.ThresholdMin[channel])
    g.ThresholdVolts[channel] = g.ThresholdMin[channel];
  st.sam[b].TriggerThreshold[c] = g.ThresholdVolts[channel];
  Load_DACs(st, c, b);
}

void Set_ChannelOffset(State& st, int channel, float volts) {
  if (channel < 0 || channel >= kMaxChannels) return;
  int b = 0, c = 0;
  Get_HardwareIndexFromChannel(channel, &b, &c);
  st.sam[b].DCOffset[c] = volts;
  Load_DACs(st, 2 + c, b);
  Update_TriggerThreshold(st, channel);
  Write_InfoMessage(
      st,
      "The threshold range values displayed in the TRIGGER TAB panel are adjusted automatically "
      "with respect to the selected Offset.\n But be aware that the real threshold is applied on "
      "the input signal (before offset application) with an effective range value between -1.25 V "
      "and 1.25 V! \n",
      st.FirstOffsetWarningShown ? kInfo : kWarning);
  st.FirstOffsetWarningShown = true;
  st.ui.refresh_panel(Panel::AllValues);
}

void Get_HardwareIndexFromChannel(int channel, int* block, int* channel_in_block) {
  *block = channel / 2;
  *channel_in_block = channel % 2;
}

void Start_RateCounters(State& st, int block) {
  const std::uint32_t address = block < 0 ? 0x8020u : 0x1020u + 0x100u * block;
  Write_Register(st, st.DeviceHandle.load(), 1, address);
}

void Read_RateCounters(State& st, int block) {
  if (block < 0 || block >= kMaxSamBlocks) return;
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    std::uint32_t value = 0;
    const std::uint32_t address = (c == 0 ? 0x106Cu : 0x1094u) + 0x100u * block;
    Read_Register(st, st.DeviceHandle.load(), &value, address);
    st.event.TrigCount[block][c] = static_cast<std::uint16_t>(value & 0xFFFF);
    st.event.TimeCount[block][c] = static_cast<std::uint16_t>(value >> 16);
  }
}

void Enable_SamDacs(State& st, int block) {
  set_sam_reg2_bit(st, block, 5, true);
}

void Load_SamDacLSB(State& st, int block, int lsb1, int lsb2) {
  const int first = block < 0 ? 0 : block;
  const int last = block < 0 ? board_blocks(st) : block + 1;
  for (int b = first; b < last && b < kMaxSamBlocks; ++b) {
    std::uint16_t reg = st.sam[b].SamReg2;  // packed field: by value
    reg = static_cast<std::uint16_t>(lsb1 == 1 ? (reg | 0x40u) : (reg & ~0x40u));
    reg = static_cast<std::uint16_t>(lsb2 == 1 ? (reg | 0x80u) : (reg & ~0x80u));
    st.sam[b].SamReg2 = reg;
    Load_HardwareSetup(st, 1, b);
  }
  st.ui.refresh_panel(Panel::SlowControl);
}

void Load_SamLineDacs(State& st, int block, const LineDacSettings& settings) {
  if (block < 0 || block >= kMaxSamBlocks) return;
  put_line_dac_settings(st.sam[block], settings);
  Load_HardwareSetup(st, 1, block);
  // The codes count only while the DACs are on.
  if (settings.enabled()) Load_HardwareSetup(st, 6, block);
}

}  // namespace vx
