#include "app/parameters.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "app/register_images.h"

namespace vx {

namespace {

void init_system_trigger_and_sync(SystemParams& s) {
  s.TriggerSource = kTriggerSoftware;
  s.OverallTriggerLogic = 0;
  s.MajorityLevel = 0;
  s.ExtTrigInAsGate = 0;
  s.PrimitivesGateLength = 3;
  s.Adc20MHzOnOff = 0;
  s.ExternalTriggerType = 1;
  s.MonitorGain = 7;
  s.MonitorMode = 3;
  s.SyncMode = 0;
  s.BoardMasterMode = 1;
  s.SlaveNumber = 1;
  s.NumberOfSlaves = 1;
  s.UseLvdsIO = 1;
  s.VetoInExtraLatency = 20;
}

void init_acq_run_measurement_inl_file(AcqParams& a) {
  a.RunFromFile = 0;
  a.RunType = kRunContinuous;
  a.RunDuration = 300;
  a.RunElapsedTime = 0;
  a.DisplayOn = 1;
  a.MaxNumEventsBLT = 100;
  a.NbOfEventsRequired = 0;
  a.StopRequest = 0;
  a.TCPCommandsEnabled = 0;
  a.TransmitRunDataToTcpClient = 0;
  a.TCPDataTransmitOptions = 0;
  a.FFTMode = 0;
  a.AveragingDataOn = 0;
  a.SelectedLine = 0;
  a.NbOfBinsForSpline = 5;
  a.NbOfBinsForBaseline = 32;
  a.INLCalibrationRunning = 0;
  a.PulseMode = 0;
  a.INLUseIntervalRatio = 1;
  a.EnSoftwareChargeHisto = 0;
  a.INLSegmentOffset = 1;
  a.INLCellOffset = 0;
  a.EnTimeJitter = 0;
  a.CFDMethod = 1;
  a.CFDRatio = 0.5f;
  a.TimeHistoChannelA = 0;
  a.TimeHistoChannelB = 1;
  a.NoMaxPeakThresholdDistance = 1;
  a.MaxPeakThresholdDistance = 5.0f;
  a.MinPulsesDistance = -10.0f;
  a.MaxPulsesDistance = 10.0f;
  a.EnExcludeBelowAmplitude = 0;
  a.MinPeakAmplitude = 0.0f;
  a.EnExcludeAboveAmplitude = 0;
  a.MaxPeakAmplitude = 0.0f;
  a.TimeMeasSpareOption = 0;
  a.INLCalibPanelValue = 0.0f;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      a.PulseThreshold[b][c] = 0.0f;
      a.PulseEdge[b][c] = 0;
    }
  }
  a.INLCalibOption = 0;
  a.INLNbOfSegments = 64;
  a.INLCorrectionEnabled = 1;
  a.SaveDataInFile = 0;
  a.MeasurementsEnabled = 0;
  a.SplitFileToSaveData = 1;
  a.NbOfEventsPerFile = 500;
  a.SaveMeasurementsInFile = 0;
  a.DataFileType = 0;
  a.PopupForFileName = 1;
}

void init_file_name_options(AcqParams& a) {
  a.AddSystemDate = 0;
  a.AddSystemTime = 0;
  a.AddRunId = 1;
  a.AutoIncRunId = 1;
  a.RunIdUser = 1;
  a.AutoRunId = 0;
  a.NbOfSamplesInFile = 1024;
  a.NbOfChannelsAcquiredInFile = 0;
  a.NbOfChannelsInFile = 16;
  a.DebugSamBlock = 0;
}

void init_charge_histo_limits(AcqParams& a) {
  a.ChargeRangeAuto = 1;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      a.ChargeCutEnabled[b][c] = 0;
      a.ChargeHistoMin[b][c] = -50.0f;
      a.ChargeHistoMax[b][c] = 50.0f;
    }
  }
}

void init_rate_scan(AcqParams& a) {
  a.RateScanStartThreshold = -0.02f;
  a.RateScanEndThreshold = 0.02f;
  a.RateScanNbOfSteps = 99;
  a.RateScanStepValue = 0.1f;
  a.RateScanRunning = 0;
  a.RateScanFlag = 0;
}

void init_tcp(TCPParams& t) {
  t.ClientHandle = 0;
  t.ServerPort = 8008;
  t.ServerOnline = 0;
  set_text(t.ServerName, "NONE");
  set_text(t.ServerIp, "NONE");
  t.ClientConnected = 0;
  set_text(t.ClientIp, "NONE");
  t.RemoteStartRequest = 0;
  t.RemoteStopRequest = 1;
  t.RemoteLoadSetupRequest = 0;
  set_text(t.RemoteSetupFileName, ".");
  t.TCPRunId = 0;
}

void init_block(SAMBlockParams& k, const SystemParams& sys) {
  k.ControlRegBit0 = 1;
  k.BoardGain = 1.0f;
  k.OffsetGain = 1.0f;
  k.TriggerRegBit0 = 1;
  k.TriggerRegBit2 = 0;
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    k.TriggerPolarity[c] = 0;
    k.TriggerEnable[c] = 1;
    k.TrigCountVetoEnable[c] = 0;
    k.TrigCountVetoWindow[c] = 2;
    k.TriggerThreshold[c] = 0.02f;
    k.DCOffset[c] = 0.0f;
    k.ChargeStartIndex[c] = 17;
    k.ChargeLength[c] = 1005;
    k.ChargeThresholdFlag[c] = 0;
    k.ChargeThreshold[c] = 0;
    k.ChargeThresholdVolts[c] = 0.0f;
    k.PulsePattern[c] = 1;
  }
  k.ControlRegBit6 = 0;
  k.ControlRegBit7 = 0;
  k.CoincidenceAND = 0;
  k.Reserved72 = 0;
  k.TriggerGateLength = static_cast<std::uint8_t>(sys.PrimitivesGateLength);
  k.TriggerGateRegHigh = 0;
  k.PedestalPerCell = 1;
  k.FrequencyIndex = 0;
  k.SamParamWord = 100;
  k.PostTrigger = 1;
  k.RateCountersEnabled = 1;
  k.RecordLength16 = 64;
  k.SamReg1 = 745;
  k.SamReg2 = 49281;
  k.SamReg6 = 61441;
  k.SamReg3 = 39;
  k.SamReg5 = 0;
  k.ChargeNoBaseline = 0;
  k.ChargeModeEnabled = 0;
  k.PulseSource = 1;
  k.NoResetPerReadout = 1;
  k.ControlRegBit2 = 1;

  Build_RegisterImages(k, sys);
}

void init_gui(State& st) {
  GuiParams& g = st.gui;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const SAMBlockParams& k = st.sam[ch / 2];
    g.ChannelEnabled[ch] = 1;
    g.ThresholdVolts[ch] = k.TriggerThreshold[ch % 2];
    g.ThresholdMin[ch] = k.DCOffset[ch % 2] - 1.25f;
    g.ThresholdMax[ch] = k.DCOffset[ch % 2] + 1.25f;
    g.VerticalPosition[ch] = 0.0f;
    g.VerticalScale[ch] = 500;
  }
  g.ChargeHistoNbOfBins = 100;
  g.TimeHistoNbOfBins = 100;
  g.TimeHistoOption1 = 1;
  g.TimeHistoOption2 = 1;
  g.TimeHistoMin = -100.0;
  g.TimeHistoMax = 100.0;
  g.SelectedChannel = 0;
  g.DisplayTimeOnWaveforms = 0;
  g.DisplayModulo = 100;
  g.RateMeasurementOn = 0;
  g.RateStripChartChannel = -1;
  g.NoiseMeasurementOn = 0;
  g.NoiseStripChartChannel = -1;
  g.GraphOptionCharge = 0;
  g.GraphMode = kGraphWaveforms;
  g.DisplayOption = 0;
  g.PlotAlignment = 0;
  g.PlotAlignmentOption1 = 0;
  g.PlotAlignmentOption2 = 1;
  g.PlotAlignmentValue = 0.0f;
  g.ChargeHistoChannel = 0;
  g.RateVsThresholdChannel = -1;
}

}  // namespace

void Init_Params(State& st) {
  init_system_trigger_and_sync(st.sys);
  init_acq_run_measurement_inl_file(st.acq);
  set_text(st.acq.BaseFileName, "veltrix");
  const std::filesystem::path data_dir = st.UserPath / "RunData";
  set_text(st.acq.DataDirectory, data_dir.string().c_str());
  std::error_code ec;
  std::filesystem::create_directories(data_dir, ec);  // a failure shows when saving
  init_file_name_options(st.acq);
  init_charge_histo_limits(st.acq);
  st.board.Reserved164 = 276;
  init_rate_scan(st.acq);
  // A registered server outlives a reconnection of the board, and so does its record.
  if (!st.remote.server) init_tcp(st.tcp);
  for (auto& blk : st.sam) init_block(blk, st.sys);
  st.sys.RecordLength = 16 * st.sam[0].RecordLength16;
  init_gui(st);

  call(st.hooks.recompute_main_graph);
  // Noise is measured where the record holds no pulse: on the leading samples that the
  // baseline is taken from, before the trigger position.
  st.StartSigmaSample = 0;
  st.EndSigmaSample = std::clamp(int{st.acq.NbOfBinsForBaseline}, 2, int{st.sys.RecordLength}) - 1;
  st.ui.refresh_panel(Panel::AllValues);
  if (st.Board_Connected.load() == 1) call(st.hooks.apply_enabled_blocks);
}

void Save_Params(State& st, Snapshot which) {
  ParamRecords& saved = st.saved(which);
  std::memcpy(&saved.board, &st.board, sizeof st.board);
  std::memcpy(&saved.acq, &st.acq, sizeof st.acq);
  std::memcpy(&saved.sys, &st.sys, sizeof st.sys);
  std::memcpy(&saved.gui, &st.gui, sizeof st.gui);
  const int blocks = board_blocks(st);
  std::copy_n(st.sam.begin(), blocks, saved.sam.begin());
}

void Restore_Params(State& st, Snapshot which) {
  const ParamRecords& saved = st.saved(which);
  std::memcpy(&st.board, &saved.board, sizeof st.board);
  std::memcpy(&st.acq, &saved.acq, sizeof st.acq);
  std::memcpy(&st.sys, &saved.sys, sizeof st.sys);
  std::memcpy(&st.gui, &saved.gui, sizeof st.gui);
  const int blocks = board_blocks(st);
  std::copy_n(saved.sam.begin(), blocks, st.sam.begin());

  call(st.hooks.apply_all_board_parameters);
  call(st.hooks.recompute_main_graph);
  call(st.hooks.refresh_annotations);
  st.ui.refresh_panel(Panel::AllValues);
}

}  // namespace vx
