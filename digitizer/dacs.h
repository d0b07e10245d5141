// Offset and threshold DACs, the SAM chips' internal offset DACs and the hit counters.
#pragma once

#include "app/state.h"

namespace vx {

// kind 0/1: threshold of channel 2b / 2b+1; 2/3: offset of channel 2b / 2b+1; 4: all four.
// For one block the threshold includes its measured offset (MeanThreshold); for every
// block (-1) it does not.
void Load_DACs(State& st, int kind, int block);

// Brings the channel's threshold back into the range its offset allows and loads it.
void Update_TriggerThreshold(State& st, int channel);

// Changes a channel's DC offset: loads the offset DAC, then re-ranges the threshold and
// tells the user how the displayed range relates to the real one.
void Set_ChannelOffset(State& st, int channel, float volts);

void Get_HardwareIndexFromChannel(int channel, int* block, int* channel_in_block);

void Start_RateCounters(State& st, int block);
void Read_RateCounters(State& st, int block);

// Bit 5 (En_DAC) and bits 6/7 (DAC_LSB1/2) of SamReg2, loaded through slow control.
void Enable_SamDacs(State& st, int block);
void Load_SamDacLSB(State& st, int block, int lsb1, int lsb2);
// Puts the settings into the block's records (SamReg2 bits 5 to 7 and the line codes; an
// unrecorded one stands for the DACs off) and loads them into its chip (the codes only
// while the DACs are on).
void Load_SamLineDacs(State& st, int block, const LineDacSettings& settings);

}  // namespace vx
