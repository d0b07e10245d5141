#include "acquisition/sam_slow_control.h"

#include "acquisition/run_control.h"
#include "digitizer/board_configuration.h"

namespace vx {

const std::array<const char*, 16> kSamReg1BitNames = {
    "SR_FCR",        "SR_LWC",    "SR_XY",     "SW_FCR_Y", "SW_LWC", "SW_XY",
    "dist_int_VDAC", "en_FCRout", "FCR_First", "ModeSeq",  "En_Div", "Bias_Out",
    "Bias_R0",       "Bias_R1",   "Bias_W0",   "Bias_W1"};

const std::array<const char*, 16> kSamReg2BitNames = {"En_Int_ctP",
                                                      "En_ESO",
                                                      "Dis_Int_VDISCH",
                                                      "Dis_Int_VctN&DLL",
                                                      "SW_FCR_X",
                                                      "En_DAC",
                                                      "DAC_LSB1",
                                                      "DAC_LSB2",
                                                      "Dis_CMOS",
                                                      "Sync_Out",
                                                      "Sync_Ckb",
                                                      "Long_Rst_DLL",
                                                      "Dis_Rst_DLL2",
                                                      "",
                                                      "",
                                                      ""};

namespace {

void load_slow_control_words(BoardPort port) {
  Load_HardwareSetup(port, 0, -1);
  Load_HardwareSetup(port, 1, -1);
  Load_HardwareSetup(port, 4, -1);
  port.links.ui.refresh_panel(Panel::SlowControl);
}

}  // namespace

void Set_SamRegBit(ControlPort port, int word, int bit, bool on) {
  if ((word != 1 && word != 2) || bit < 0 || bit > 15) return;
  RestartGuard restart(port);
  const auto mask = static_cast<std::uint16_t>(1u << bit);
  auto apply = [&](std::uint16_t reg) {
    return static_cast<std::uint16_t>(on ? (reg | mask) : (reg & ~mask));
  };
  for (auto& blk : port.settings.sam) {
    if (word == 1) {
      blk.SamReg1 = apply(blk.SamReg1);
    } else {
      blk.SamReg2 = apply(blk.SamReg2);
    }
  }
  load_slow_control_words(port);
}

void Set_SamReg3(ControlPort port, std::uint16_t value) {
  RestartGuard restart(port);
  for (auto& blk : port.settings.sam) blk.SamReg3 = value;
  load_slow_control_words(port);
}

}  // namespace vx
