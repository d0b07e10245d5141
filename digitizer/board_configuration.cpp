#include "digitizer/board_configuration.h"

#include <algorithm>
#include <cstring>

#include "app/register_images.h"
#include "digitizer/dacs.h"
#include "digitizer/register_access.h"

namespace vx {

namespace {

int blocks(const Settings& st) {
  const int n = st.sys.NbOfSAMBlocks;
  return n < 0 ? 0 : (n > kMaxSamBlocks ? kMaxSamBlocks : n);
}

int handle(const BoardLink& st) {
  return st.DeviceHandle.load();
}

// Runs a library call only when a board is there.
template <typename F>
void call(BoardLink& st, F&& f) {
  if (board_usable(st)) f(*st.digitizer, handle(st));
}

std::uint32_t read_reg(BoardPort port, std::uint32_t address) {
  std::uint32_t value = 0;
  Read_Register(port, handle(port), &value, address);
  return value;
}

void write_reg(BoardPort port, std::uint32_t address, std::uint32_t value) {
  Write_Register(port, handle(port), value, address);
}

void self_trigger(BoardLink& st, int mode, std::uint32_t mask) {
  call(st, [&](Digitizer& d, int h) { d.SetChannelSelfTrigger(h, mode, mask); });
}

void ext_input(BoardLink& st, int mode) {
  call(st, [&](Digitizer& d, int h) { d.SetExtTriggerInputMode(h, mode); });
}

void sw_trigger_mode(BoardLink& st, int mode) {
  call(st, [&](Digitizer& d, int h) { d.SetSWTriggerMode(h, mode); });
}

void pair_logic(BoardPort port, int block, int logic) {
  const auto window =
      static_cast<std::uint16_t>((port.settings.sys.PrimitivesGateLength * 5) & 0xFFFF);
  call(port, [&](Digitizer& d, int h) {
    d.SetChannelPairTriggerLogic(h, 2 * block, 2 * block + 1, logic, window);
    int read_logic = 0;
    std::uint16_t read_window = 0;
    d.GetChannelPairTriggerLogic(h, 2 * block, 2 * block + 1, &read_logic, &read_window);
  });
}

void synchronised_trigger_mode(BoardPort port) {
  SystemParams& s = port.settings.sys;
  s.TriggerSource = kTriggerExternal;
  s.ExtTrigInAsGate = 0;
  sw_trigger_mode(port, 2);
  self_trigger(port, 2, full_channel_mask(port));
  self_trigger(port, 0, disabled_trigger_mask(port));
  ext_input(port, 1);
  const std::uint32_t reg8100 = read_reg(port, 0x8100);
  Set_ExternalTriggerInAsGateOption(port);
  if (s.UseLvdsIO == 0) {
    write_reg(port, 0x8100, (reg8100 & ~0xFu) | 0x2u);
    write_reg(port, 0x811C, read_reg(port, 0x811C) & ~0x100u);
    write_reg(port, 0x8170, 0);
    return;
  }
  write_reg(port, 0x811C, read_reg(port, 0x811C) | 0x120u);
  write_reg(port, 0x811C, read_reg(port, 0x811C) & ~0x12u);
  write_reg(port, 0x81A0, (read_reg(port, 0x81A0) & ~0xFFu) | 0x2200u);
  const bool master = s.BoardMasterMode == 1;
  write_reg(port, 0x8100, (reg8100 & ~0x3FFu) | (master ? 0x1200u : 0x307u));
  const int slave = master ? 0 : s.SlaveNumber;
  write_reg(port, 0x8170, static_cast<std::uint32_t>(2 * (s.NumberOfSlaves - slave)));
}

}  // namespace

int frequency_from_index(int index) {
  switch (index) {
    case 1:
      return 1600;
    case 2:
      return 800;
    case 3:
      return 400;
    default:
      return 3200;
  }
}

double sampling_period_from_index(int index) {
  switch (index) {
    case 1:
      return 625.0;
    case 2:
      return 1250.0;
    case 3:
      return 2500.0;
    case 4:
      return 5000.0;
    case 5:
      return 10000.0;
    default:
      return 312.5;
  }
}

int Get_Frequency(const Settings& st) {
  return frequency_from_index(st.sam[0].FrequencyIndex);
}

double Get_SamplingPeriod(const Settings& st) {
  return sampling_period_from_index(st.sam[0].FrequencyIndex);
}

void Set_Frequency(BoardPort port, int frequency_mhz) {
  Stop_AcquisitionAndWait(port);
  int index = 0;
  switch (frequency_mhz) {
    case 1600:
      index = 1;
      break;
    case 800:
      index = 2;
      break;
    case 400:
      index = 3;
      break;
    default:
      index = 0;
      break;
  }
  for (auto& blk : port.settings.sam) blk.FrequencyIndex = index;
  call(port, [&](Digitizer& d, int h) { d.SetSAMSamplingFrequency(h, index); });
}

std::uint32_t full_channel_mask(const Settings& st) {
  std::uint32_t word = 0;
  std::memcpy(&word, st.board.BoardInfo + 16, sizeof word);
  return word < 5 ? 0xFFu : 0xFFFFu;
}

std::uint32_t enabled_trigger_mask(const Settings& st) {
  std::uint32_t mask = 0;
  for (int b = 0; b < blocks(st); ++b) {
    if (st.sam[b].TriggerEnable[0] != 0) mask |= 1u << (2 * b);
    if (st.sam[b].TriggerEnable[1] != 0) mask |= 1u << (2 * b + 1);
  }
  return mask;
}

std::uint32_t disabled_trigger_mask(const Settings& st) {
  return full_channel_mask(st) & ~enabled_trigger_mask(st);
}

void Set_AllBoardParameters(BoardPort port) {
  // The images follow their fields even without a board: setup files store them.
  for (int b = 0; b < blocks(port); ++b)
    Build_RegisterImages(port.settings.sam[b], port.settings.sys);
  if (port.link.Board_Connected.load() != 1) return;
  port.settings.StopRequest().store(1);
  wait_for_flag([&] { return port.acquisition_busy.load() == 0; });

  const int frequency = Get_Frequency(port);
  Set_SystemMonitorParameters(port);
  Set_Frequency(port, frequency);
  Set_SystemEnabledTriggerSources(port);
  Set_EnabledSAMBlocks(port);
  Set_SystemOverallTriggerOption(port);
  Set_SystemTriggerMode(port);
  Set_PrimitivesGateLength(port);
  Set_PulseParameters(port);
  Set_ChargeModeParameters(port);
  Set_SystemPostTrigger(port);
  for (int b = 0; b < blocks(port); ++b) Set_CoincidenceMode(port, b);
  for (int ch = 0; ch < 2 * blocks(port); ++ch) Set_TriggerPolarity(port, ch);
  Set_ExternalTriggerType(port);
  Set_SAMCorrectionLevel(port, port);
  Set_SAMAcquisitionMode(port, port);
  Set_TrigCountParameters(port, port, -1);
  Set_ExternalTriggerInAsGateOption(port);
  Load_HardwareSetup(port, 19, -1);
  for (int b = 0; b < blocks(port); ++b) {
    Load_DACs(port, 2, b);
    Load_DACs(port, 3, b);
    Load_DACs(port, 0, b);
    Load_DACs(port, 1, b);
  }
  // The control word carries the charge-mode, baseline and rate-counter bits.
  Load_HardwareSetup(port, 12, -1);
}

void Set_SystemMonitorParameters(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  write_reg(port, 0x81B4, static_cast<std::uint32_t>(port.settings.sys.MonitorGain));
  write_reg(port, 0x8144, static_cast<std::uint32_t>(port.settings.sys.MonitorMode));
}

void Set_SystemEnabledTriggerSources(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  if (port.settings.sys.TriggerSource != kTriggerNormal &&
      port.settings.sys.TriggerSource != kTriggerAuto)
    return;
  self_trigger(port, 1, full_channel_mask(port));
  self_trigger(port, 0, disabled_trigger_mask(port));
}

void Set_EnabledSAMBlocks(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  port.settings.sys.GroupEnableMask = 0;
  port.settings.sys.NbOfEnabledSAMBlocks = 0;
  std::uint8_t mask = 0;
  for (int b = 0; b < blocks(port); ++b) {
    if (port.settings.gui.ChannelEnabled[2 * b] != 0 ||
        port.settings.gui.ChannelEnabled[2 * b + 1] != 0) {
      mask = static_cast<std::uint8_t>(mask | (1u << b));
      ++port.settings.sys.NbOfEnabledSAMBlocks;
    }
  }
  port.settings.sys.GroupEnableMask = mask;
  call(port, [&](Digitizer& d, int h) { d.SetGroupEnableMask(h, mask); });
}

void Set_SystemOverallTriggerOption(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  call(port, [&](Digitizer& d, int h) {
    d.SetTriggerLogic(h, port.settings.sys.OverallTriggerLogic,
                      static_cast<std::uint32_t>(port.settings.sys.MajorityLevel));
    int logic = 0;
    std::uint32_t level = 0;
    d.GetTriggerLogic(h, &logic, &level);
  });
}

void Set_SystemTriggerMode(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  if (port.settings.sys.SyncMode == 1) {
    synchronised_trigger_mode(port);
    return;
  }
  sw_trigger_mode(port, 1);
  write_reg(port, 0x8100, read_reg(port, 0x8100) & ~0x3u);
  write_reg(port, 0x811C, read_reg(port, 0x811C) & ~0x100u);
  write_reg(port, 0x8170, 0);
  // Software (0), Normal (1), Auto (2), External (3): Normal and Auto trigger on the
  // enabled channels, Auto and External take the external input, Software and Auto force
  // the overall logic back to OR.
  const int source = port.settings.sys.TriggerSource;
  if (source < 0 || source > 3) return;
  const bool self = source == 1 || source == 2;
  self_trigger(port, self ? 1 : 0, full_channel_mask(port));
  if (self) self_trigger(port, 0, disabled_trigger_mask(port));
  ext_input(port, source >= 2 ? 1 : 0);
  if (source == 0 || source == 2) {
    port.settings.sys.OverallTriggerLogic = 0;
    Set_SystemOverallTriggerOption(port);
  }
}

void Set_PrimitivesGateLength(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  for (int b = 0; b < blocks(port); ++b) {
    SAMBlockParams& blk = port.settings.sam[b];
    blk.TriggerGateLength =
        static_cast<std::uint8_t>(port.settings.sys.PrimitivesGateLength & 0xFF);
    Build_TriggerGateReg(blk);
    pair_logic(port, b, blk.CoincidenceAND);
  }
}

// block -1: every block of the board.
void Set_CoincidenceMode(BoardPort port, int block) {
  Stop_AcquisitionAndWait(port);
  if (block < 0) {
    for (int b = 0; b < blocks(port); ++b)
      pair_logic(port, b, port.settings.sam[b].CoincidenceAND == 1 ? 1 : 0);
    return;
  }
  if (block >= blocks(port)) return;
  pair_logic(port, block, port.settings.sam[block].CoincidenceAND == 1 ? 1 : 0);
}

// channel -1: every channel of the board.
void Set_TriggerPolarity(BoardPort port, int channel) {
  Stop_AcquisitionAndWait(port);
  const int first = channel < 0 ? 0 : channel;
  const int last = channel < 0 ? 2 * blocks(port) : std::min(channel + 1, 2 * blocks(port));
  for (int ch = first; ch < last; ++ch) {
    const int polarity = port.settings.sam[ch / 2].TriggerPolarity[ch % 2];
    call(port, [&](Digitizer& d, int h) { d.SetTriggerPolarity(h, ch, polarity); });
  }
}

void Set_ExternalTriggerType(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  const int level = port.settings.sys.ExternalTriggerType == 1 ? 0 : 1;
  call(port, [&](Digitizer& d, int h) { d.SetIOLevel(h, level); });
}

void Set_ExternalTriggerInAsGateOption(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  const int gate = port.settings.sys.ExtTrigInAsGate == 1 ? 1 : 0;
  call(port, [&](Digitizer& d, int h) { d.SetTriggerInAsGate(h, gate); });
}

void Set_SystemPostTrigger(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  for (int b = 0; b < blocks(port); ++b) {
    const auto value = static_cast<std::uint8_t>(port.settings.sam[b].PostTrigger & 0xFF);
    call(port, [&](Digitizer& d, int h) { d.SetSAMPostTriggerSize(h, b, value); });
  }
}

void Set_PulseParameters(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  for (int ch = 0; ch < 2 * blocks(port); ++ch) {
    const SAMBlockParams& blk = port.settings.sam[ch / 2];
    const int c = ch % 2;
    if (blk.PulseEnable[c] != 0) {
      const std::uint16_t pattern = blk.PulsePattern[c];
      const int source = blk.PulseSource;
      call(port, [&](Digitizer& d, int h) { d.EnableSAMPulseGen(h, ch, pattern, source); });
    } else {
      call(port, [&](Digitizer& d, int h) { d.DisableSAMPulseGen(h, ch); });
    }
  }
}

void Set_ChargeModeParameters(BoardPort port) {
  Stop_AcquisitionAndWait(port);
  ChargeModeParams params;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    params.StartCell[ch] = port.settings.sam[ch / 2].ChargeStartIndex[ch % 2];
    params.Length[ch] = port.settings.sam[ch / 2].ChargeLength[ch % 2];
  }
  params.BaselineSamples = port.settings.sam[0].ChargeNoBaseline == 1 ? 0 : 16;
  call(port, [&](Digitizer& d, int h) { d.SetDPPParameters(h, 0, params); });
}

void Set_SAMAcquisitionMode(BoardLink& st, Settings& settings) {
  if (!board_usable(st)) return;
  Digitizer& d = *st.digitizer;
  const int h = handle(st);
  if (settings.sam[0].ChargeModeEnabled == 1) {
    d.SetSAMAcquisitionMode(h, kAcqModeCharge);
    if (!st.ChargeEventsAllocated) {
      std::uint32_t size = 0;
      st.ChargeEventsAllocated = d.MallocDPPEvents(h, &st.ChargeEventsBuffer, &size) >= 0;
    }
  } else {
    d.SetSAMAcquisitionMode(h, kAcqModeWaveform);
    if (st.ChargeEventsAllocated) {
      d.FreeDPPEvents(h, &st.ChargeEventsBuffer);
      st.ChargeEventsAllocated = false;
    }
  }
}

void Set_SAMCorrectionLevel(Settings& st, BoardLink& link) {
  int level = 1;
  if (link.calib.PedestalMeasurement) {
    level = 0;
  } else if (st.acq.INLCorrectionEnabled != 0) {
    level = 3;
  }
  call(link, [&](Digitizer& d, int h) { d.SetSAMCorrectionLevel(h, level); });
}

void Set_TrigCountParameters(Settings& st, BoardLink& link, int channel) {
  const int first = channel < 0 ? 0 : channel;
  const int last = channel < 0 ? 2 * blocks(st) : channel + 1;
  for (int ch = first; ch < last && ch < kMaxChannels; ++ch) {
    const SAMBlockParams& blk = st.sam[ch / 2];
    const int enable = blk.TrigCountVetoEnable[ch % 2];
    const std::uint32_t window = 5u * blk.TrigCountVetoWindow[ch % 2];
    call(link, [&](Digitizer& d, int h) {
      d.SetSAMTriggerCountVetoParam(h, ch, enable, window);
      if (channel >= 0) {
        int read_enable = 0;
        std::uint32_t read_window = 0;
        d.GetSAMTriggerCountVetoParam(h, ch, &read_enable, &read_window);
      }
    });
  }
}

void Load_HardwareSetup(BoardPort port, int kind, int block) {
  if (port.settings.sys.NbOfSAMBlocks < 1 || !board_usable(port)) return;
  BoardAccess access(port);
  switch (kind) {
    case 0:
      for (int b = 0; b < blocks(port); ++b)
        for (int i = 0; i < 3; ++i) Write_SamSlowControlReg(port, 0, b);
      break;
    case 1:
    case 4:
    case 6:
      if (block >= 0) {
        Write_SamSlowControlReg(port, kind, block);
      } else {
        for (int b = 0; b < blocks(port); ++b) Write_SamSlowControlReg(port, kind, b);
      }
      break;
    case 12:
      write_reg(port, 0x8070, port.settings.sam[0].ControlReg & 0xFFu);
      break;
    case 19:
      call(port, [&](Digitizer& d, int h) {
        d.SetRecordLength(h, port.settings.sam[0].RecordLength16 * 16u);
      });
      break;
    default:
      break;
  }
}

void Write_SamSlowControlReg(BoardPort port, int kind, int block) {
  if (block < 0 || block >= kMaxSamBlocks) return;
  const SAMBlockParams& blk = port.settings.sam[block];
  const std::uint32_t address_reg = 0x1084 + 0x100u * block;
  const std::uint32_t data_reg = 0x1028 + 0x100u * block;
  auto write_pair = [&](std::uint32_t address_word, std::uint32_t data_word) {
    write_reg(port, address_reg, address_word);
    write_reg(port, data_reg, data_word);
  };
  switch (kind) {
    case 0:
      write_pair(0x2001, blk.SamReg1);
      break;
    case 1:
      write_pair(0x2002, blk.SamReg2);
      break;
    case 4:
      write_pair(0x2003, blk.SamReg3);
      break;
    case 6:
      for (int line = 0; line < 16; ++line) {
        const std::uint32_t a = blk.SamDacOffsetCh1[line];
        const std::uint32_t b = blk.SamDacOffsetCh0[line];
        write_pair(0x2010u + line, a + ((a ^ 0x40u) << 8) + (b << 16) + ((b ^ 0x40u) << 24));
      }
      break;
    default:
      break;
  }
}

}  // namespace vx
