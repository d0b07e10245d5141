// Turning the parameter records into board settings: one Set operation per setting, and
// Set_AllBoardParameters applying them all after a connection, a setup load or a restore.
#pragma once

#include <cstdint>

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// Sampling frequency in MS/s and period in ps for a frequency index.
int frequency_from_index(int index);
double sampling_period_from_index(int index);
int Get_Frequency(const Settings& st);          // of block 0
double Get_SamplingPeriod(const Settings& st);  // of block 0, ps
void Set_Frequency(BoardPort port, int frequency_mhz);

// Masks of the channels: 8 bits on boards of fewer than 5 SAM blocks, 16 otherwise.
std::uint32_t full_channel_mask(const Settings& st);
std::uint32_t enabled_trigger_mask(const Settings& st);
std::uint32_t disabled_trigger_mask(const Settings& st);

void Set_AllBoardParameters(BoardPort port);
void Set_SystemMonitorParameters(BoardPort port);
void Set_SystemEnabledTriggerSources(BoardPort port);
void Set_EnabledSAMBlocks(BoardPort port);
void Set_SystemOverallTriggerOption(BoardPort port);
void Set_SystemTriggerMode(BoardPort port);
void Set_PrimitivesGateLength(BoardPort port);
void Set_CoincidenceMode(BoardPort port, int block);
void Set_TriggerPolarity(BoardPort port, int channel);
void Set_ExternalTriggerType(BoardPort port);
void Set_ExternalTriggerInAsGateOption(BoardPort port);
void Set_SystemPostTrigger(BoardPort port);
void Set_PulseParameters(BoardPort port);
void Set_ChargeModeParameters(BoardPort port);
void Set_SAMAcquisitionMode(BoardLink& st, Settings& settings);
void Set_SAMCorrectionLevel(Settings& st, BoardLink& link);
// channel < 0: every channel, without reading the values back.
void Set_TrigCountParameters(Settings& st, BoardLink& link, int channel);

// Kinds: 0, 1, 4, 6 slow-control loads (1, 4 and 6 of one block, or of all for -1), 12 the
// control register, 19 the record length.
void Load_HardwareSetup(BoardPort port, int kind, int block);
void Write_SamSlowControlReg(BoardPort port, int kind, int block);

}  // namespace vx
