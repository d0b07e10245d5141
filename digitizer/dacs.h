// Offset and threshold DACs, the SAM chips' internal offset DACs and the hit counters.
#pragma once

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// kind 0/1: threshold of channel 2b / 2b+1; 2/3: offset of channel 2b / 2b+1; 4: all four.
// For one block the threshold includes its measured offset (MeanThreshold); for every
// block (-1) it does not.
void Load_DACs(BoardPort port, int kind, int block);

// Brings the channel's threshold back into the range its offset allows and loads it.
void Update_TriggerThreshold(BoardPort port, int channel);

// Changes a channel's DC offset: loads the offset DAC, then re-ranges the threshold and
// tells the user how the displayed range relates to the real one.
void Set_ChannelOffset(BoardPort port, int channel, float volts);

void Get_HardwareIndexFromChannel(int channel, int* block, int* channel_in_block);

void Start_RateCounters(BoardPort port, int block);
// Into the event given: its hit and time counts of the block.
void Read_RateCounters(BoardPort port, int block, DecodedEvent& event);

// Bit 5 (En_DAC) and bits 6/7 (DAC_LSB1/2) of SamReg2, loaded through slow control.
void Enable_SamDacs(BoardPort port, int block);
void Load_SamDacLSB(BoardPort port, int block, int lsb1, int lsb2);
// Puts the settings into the block's records (SamReg2 bits 5 to 7 and the line codes; an
// unrecorded one stands for the DACs off) and loads them into its chip (the codes only
// while the DACs are on).
void Load_SamLineDacs(BoardPort port, int block, const LineDacSettings& settings);

}  // namespace vx
