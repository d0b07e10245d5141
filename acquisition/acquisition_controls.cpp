#include "acquisition/acquisition_controls.h"

#include <algorithm>

#include "acquisition/run_control.h"
#include "app/message_log.h"
#include "app/register_images.h"
#include "digitizer/board_configuration.h"
#include "digitizer/dacs.h"
#include "files/saving_run_lock.h"

namespace vx {

namespace {

// Calls f for the one channel given, or for every channel of the board (-1).
template <typename F>
void for_channels(const Settings& st, int channel, F f) {
  if (channel < 0) {
    for (int ch = 0; ch < board_channels(st); ++ch) f(ch);
  } else if (channel < kMaxChannels) {
    f(channel);
  }
}

void recompute_display(FrontEndLinks& st) {
  call(st.hooks.recompute_main_graph);
  call(st.hooks.refresh_annotations);
}

void refresh_display(FrontEndLinks& st) {
  recompute_display(st);
  st.ui.refresh_panel(Panel::AllValues);
}

void set_record_length(BoardPort port, int columns) {
  for (auto& blk : port.settings.sam) blk.RecordLength16 = static_cast<std::uint16_t>(columns);
  port.settings.sys.RecordLength = columns * 16;
  Load_HardwareSetup(port, 19, -1);
  refresh_display(port);
}

}  // namespace

void Set_ChannelEnabled(ControlPort port, int channel, bool on) {
  if (Refuse_ChangeDuringSavingRun(port, "set of channels acquired")) return;
  RestartGuard restart(port);
  for_channels(port, channel, [&](int ch) { port.settings.gui.ChannelEnabled[ch] = on ? 1 : 0; });
  Set_EnabledSAMBlocks(port);
  refresh_display(port);
}

void Set_RecordColumns(ControlPort port, int columns) {
  if (Refuse_ChangeDuringSavingRun(port, "record length")) return;
  RestartGuard restart(port);
  set_record_length(port, std::clamp(columns, kMinRecordColumns, kMaxRecordColumns));
}

bool Set_FullRecordingDepth(ControlPort port, bool on) {
  if (!on) {
    if (port.settings.sys.RecordLength == kMaxSamples)
      port.links.ui.popup(PopupKind::Information, "INFO",
                          "To reduce the recording depth reduce the Specified Depth!\n");
    port.links.ui.refresh_panel(Panel::AllValues);
    return false;
  }
  if (Refuse_ChangeDuringSavingRun(port, "record length")) return false;
  RestartGuard restart(port);
  set_record_length(port, kMaxRecordColumns);
  return true;
}

void Set_SamplingFrequency(ControlPort port, int frequency_mhz) {
  if (Refuse_ChangeDuringSavingRun(port, "sampling frequency")) return;
  RestartGuard restart(port);
  Set_Frequency(port, frequency_mhz);
  // The SAM chips' internal bias follows the speed: bit 3 of SamReg2 is set for the two slow
  // frequencies. The word reaches the chips the next time it is loaded.
  const bool slow = port.settings.sam[0].FrequencyIndex >= 2;
  for (auto& blk : port.settings.sam)
    blk.SamReg2 = static_cast<std::uint16_t>(slow ? (blk.SamReg2 | 0x8u) : (blk.SamReg2 & ~0x8u));
  port.links.ui.refresh_panel(Panel::SlowControl);
  refresh_display(port);
}

void Set_PostTriggerDelay(ControlPort port, int value) {
  RestartGuard restart(port);
  for (auto& blk : port.settings.sam) blk.PostTrigger = static_cast<std::uint16_t>(value + 1);
  Set_SystemPostTrigger(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

int post_trigger_delay(const Settings& st) {
  return static_cast<int>(st.sam[0].PostTrigger) - 1;
}

void Set_InlCorrection(ControlPort port, bool on) {
  if (Refuse_ChangeDuringSavingRun(port, "INL correction")) return;
  RestartGuard restart(port);
  port.settings.acq.INLCorrectionEnabled = on ? 1 : 0;
  Set_SAMCorrectionLevel(port, port);
}

bool Select_Channel(Settings& st, FrontEndLinks& links, int channel) {
  if (channel >= st.sys.NbOfChannels) {
    Write_InfoMessage(links.log, "Selected channel number exceeds number of channels in system.\n",
                      kInfo);
    return false;
  }
  if (channel < 0) return false;
  st.gui.SelectedChannel = channel;
  links.ui.refresh_panel(Panel::AllValues);
  return true;
}

void Set_Offset(ControlPort port, int channel, float volts) {
  RestartGuard restart(port);
  port.links.ui.set_wait_cursor(true);
  for_channels(port, channel, [&](int ch) { Set_ChannelOffset(port, ch, volts); });
  port.links.ui.set_wait_cursor(false);
  refresh_display(port);
}

void Set_VerticalScale(Settings& st, FrontEndLinks& links, int channel, int mv_per_div) {
  for_channels(st, channel, [&](int ch) { st.gui.VerticalScale[ch] = std::max(mv_per_div, 1); });
  recompute_display(links);
}

void Set_VerticalPosition(Settings& st, FrontEndLinks& links, int channel, float divisions) {
  for_channels(st, channel, [&](int ch) { st.gui.VerticalPosition[ch] = divisions; });
  recompute_display(links);
}

int Auto_VerticalScale(Settings& st, FrontEndLinks& links, const DisplayFrame& frame) {
  if (frame.graph_mode != kGraphWaveforms || st.gui.AmplitudeInVolts == 1) return 0;
  int scaled = 0;
  for (const DisplayCurve& c : frame.curves) {
    if (c.y.empty() || c.gain == 0.0f || c.channel < 0 || c.channel >= kMaxChannels) continue;
    const auto [low, high] = std::minmax_element(c.y.begin(), c.y.end());
    const auto volts = [&c](float y) { return (y - c.offset) / c.gain * kVoltsPerAdcCount; };
    st.gui.VerticalScale[c.channel] =
        Fitting_VerticalScale(volts(*low), volts(*high), st.gui.VerticalPosition[c.channel]);
    ++scaled;
  }
  if (scaled > 0) refresh_display(links);
  return scaled;
}

void Set_AmplitudeDisplayType(Settings& st, FrontEndLinks& links, int type) {
  st.gui.AmplitudeInVolts = type == 1 ? 1 : 0;
  if (type == 0) {
    // One band per channel from the top of the screen down.
    const int n = std::max(board_channels(st), 1);
    const double band = 2.0 * 5.0 / n;
    for (int ch = 0; ch < n; ++ch)
      st.gui.VerticalPosition[ch] = static_cast<float>(5.0 - band * (ch + 0.5));
  }
  recompute_display(links);
}

void Set_TriggerSourceOption(ControlPort port, int source) {
  RestartGuard restart(port);
  port.settings.sys.TriggerSource = std::clamp<int>(source, kTriggerSoftware, kTriggerExternal);
  Set_SystemTriggerMode(port);
  if (port.settings.sys.TriggerSource == kTriggerExternal) {
    port.settings.sys.ExtTrigInAsGate = 0;
    Set_ExternalTriggerInAsGateOption(port);
  }
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_TriggerEdge(ControlPort port, int channel, int polarity) {
  RestartGuard restart(port);
  const int value = polarity == kPolarityFallingEdge ? kPolarityFallingEdge : kPolarityRisingEdge;
  for_channels(port, channel, [&](int ch) {
    port.settings.sam[ch / 2].TriggerPolarity[ch % 2] = value;
    Build_TriggerReg(port.settings.sam[ch / 2]);
  });
  Set_TriggerPolarity(port, channel);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_Threshold(ControlPort port, int channel, float volts) {
  RestartGuard restart(port);
  for_channels(port, channel, [&](int ch) {
    port.settings.gui.ThresholdVolts[ch] = volts;
    port.settings.sam[ch / 2].TriggerThreshold[ch % 2] = volts;
  });
  if (channel < 0) {
    Load_DACs(port, 4, -1);
  } else if (channel < kMaxChannels) {
    Load_DACs(port, channel % 2, channel / 2);
  }
  call(port.links.hooks.refresh_annotations);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_TriggerEnable(ControlPort port, int channel, bool on) {
  RestartGuard restart(port);
  for_channels(port, channel, [&](int ch) {
    port.settings.sam[ch / 2].TriggerEnable[ch % 2] = on ? 1 : 0;
    Build_TriggerReg(port.settings.sam[ch / 2]);
  });
  Set_SystemEnabledTriggerSources(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_PairLogic(ControlPort port, int block, bool coincidence_and) {
  RestartGuard restart(port);
  const int first = block < 0 ? 0 : std::min(block, kMaxSamBlocks - 1);
  const int last = block < 0 ? board_blocks(port) : first + 1;
  for (int b = first; b < last; ++b) {
    port.settings.sam[b].CoincidenceAND = coincidence_and ? 1 : 0;
    Build_TriggerReg(port.settings.sam[b]);
  }
  Set_CoincidenceMode(port, block);
  port.links.ui.refresh_panel(Panel::AllValues);
}

int Set_GateLength(ControlPort port, int ns) {
  RestartGuard restart(port);
  const int shown = std::clamp(ns, 0, kMaxGateLengthNs) / 5 * 5;
  port.settings.sys.PrimitivesGateLength = (shown / 5) & 0xFF;
  Set_PrimitivesGateLength(port);
  port.links.ui.refresh_panel(Panel::AllValues);
  return shown;
}

int gate_length_ns(const Settings& st) {
  return st.sys.PrimitivesGateLength * 5;
}

void Set_OverallTriggerOption(ControlPort port, int option) {
  RestartGuard restart(port);
  port.settings.sys.OverallTriggerLogic = option;
  Set_SystemOverallTriggerOption(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_Majority(ControlPort port, int majority) {
  RestartGuard restart(port);
  port.settings.sys.MajorityLevel = majority - 1;
  Set_SystemOverallTriggerOption(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_ExternalTriggerNim(ControlPort port, bool nim) {
  RestartGuard restart(port);
  port.settings.sys.ExternalTriggerType = nim ? 1 : 0;
  Set_ExternalTriggerType(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_ExternalTriggerAsGate(ControlPort port, bool gate) {
  RestartGuard restart(port);
  port.settings.sys.ExtTrigInAsGate = gate ? 1 : 0;
  Set_ExternalTriggerInAsGateOption(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_PulsePattern(ControlPort port, int channel, int pattern) {
  RestartGuard restart(port);
  for_channels(port, channel, [&](int ch) {
    port.settings.sam[ch / 2].PulsePattern[ch % 2] = static_cast<std::uint16_t>(pattern & 0xFFFF);
  });
  Set_PulseParameters(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_PulseEnable(ControlPort port, int channel, bool on) {
  RestartGuard restart(port);
  for_channels(port, channel, [&](int ch) {
    port.settings.sam[ch / 2].PulseEnable[ch % 2] = on ? 1 : 0;
    Build_PulseReg(port.settings.sam[ch / 2]);
  });
  Set_PulseParameters(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_PulserType(ControlPort port, int source) {
  RestartGuard restart(port);
  for (auto& blk : port.settings.sam) {
    blk.PulseSource = source;
    Build_PulseReg(blk);
  }
  Set_PulseParameters(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_PulseMode(ControlPort port, bool on) {
  RestartGuard restart(port);
  port.settings.acq.PulseMode = on ? 1 : 0;
  if (!on && port.settings.sam[0].PulseSource == 1) {
    for (auto& blk : port.settings.sam) {
      blk.PulseEnable[0] = blk.PulseEnable[1] = 0;
      Build_PulseReg(blk);
    }
    Set_PulseParameters(port);
  }
  port.links.ui.refresh_panel(Panel::AllValues);
}

// The monitor and debug panels restart a run too: without it a change made during a run
// would end the run for good.
void Set_MonitorGain(ControlPort port, int exponent) {
  RestartGuard restart(port);
  port.settings.sys.MonitorGain = std::clamp(exponent, 0, kMaxMonitorGain);
  Set_SystemMonitorParameters(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_MonitorMode(ControlPort port, int mode) {
  RestartGuard restart(port);
  port.settings.sys.MonitorMode = mode;
  Set_SystemMonitorParameters(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_Adc20MHz(ControlPort port, bool on) {
  RestartGuard restart(port);
  port.settings.sys.Adc20MHzOnOff = on ? 1 : 0;
  for (auto& blk : port.settings.sam) Build_ControlReg(blk, port.settings.sys);
  Load_HardwareSetup(port, 12, -1);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Set_DebugSamBlock(Settings& st, int block) {
  st.acq.DebugSamBlock = std::clamp(block, 0, kMaxSamBlocks - 1);
}

}  // namespace vx
