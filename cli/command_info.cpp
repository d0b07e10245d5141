#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "eeprom/eeprom_info.h"

namespace vx::cli {

int command_info(Session& session) {
  if (!session.connect()) return 1;
  State& st = session.state();
  BoardInfo info{};
  std::memcpy(&info, st.board.BoardInfo, sizeof info);
  std::printf("\nBoard\n");
  std::printf("  model              %.12s\n", info.ModelName);
  std::printf("  serial number      %u\n", info.SerialNumber);
  std::printf("  PCB revision       %u\n", info.PCB_Revision);
  std::printf("  SAM blocks         %d (%d channels)\n", st.sys.NbOfSAMBlocks, st.sys.NbOfChannels);
  std::printf("  ROC firmware       %.20s\n", info.ROC_FirmwareRel);
  std::printf("  AMC firmware       %.40s\n", info.AMC_FirmwareRel);
  std::printf("  mother board FPGA  %s\n", st.MotherBoardFirmware.c_str());
  std::printf("  daughter boards    V%d-%d.%d\n", st.BoardVersionFromFPGA[0], st.FPGAVersion[0],
              st.FPGAEvolution[0]);
  for (int d = 0; d < st.sys.NbOfSAMBlocks / 2; ++d) {
    Read_EEPROM_Info(st, d);
    const EepromPanelValues& p = st.eeprom_panel;
    std::printf("\nDaughter board %d (SAM blocks %d and %d, channels %d to %d)\n", d, 2 * d,
                2 * d + 1, 4 * d, 4 * d + 3);
    std::printf("  serial number      %s\n", p.serial.c_str());
    std::printf("  gain               %s\n", p.gain.c_str());
    std::printf("  offset gain        %s\n", p.offset_gain.c_str());
    std::printf("  SCA type           %s\n", p.sca_type.c_str());
    std::printf("  AC/DC coupling     %s\n", p.acdc_coupling.c_str());
    std::printf("  SAM long type      %s\n", p.sam_long_type.c_str());
    std::printf("  INL calibration    %s (%s, %s, %s)\n", p.inl_valid ? "valid" : "not valid",
                p.calibration_date.c_str(), p.location.c_str(), p.responsible.c_str());
    std::printf("  pedestals          %s\n", p.pedestal_valid ? "valid" : "not valid");
    std::printf("  SAM DAC offsets    %s\n", p.sam_dac_valid ? "valid" : "not valid");
    std::printf("  trigger DACs       %s\n", p.trigger_dac_valid ? "valid" : "not valid");
  }
  return 0;
}

}  // namespace vx::cli
