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
    Read_EEPROM_Info(st, st, st, d);
    print_daughter_board(st, d);
  }
  return 0;
}

}  // namespace vx::cli
