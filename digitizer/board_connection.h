// Opening, initialising and closing the board, and the firmware versions.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/board_port.h"
#include "app/state.h"
#include "digitizer/connection_rules.h"

namespace vx {

// Returns 1 on success, 0 on failure.
int Open_Device(BoardPort port);
void Sam_Init(State& st);
void Close_Device(BoardPort port);

std::string Read_MotherBoardFPGAVersion(BoardPort port);
std::string Read_FPGAVersion(BoardPort port, int block);

// The connection panel's Connect button (model: -1 none, 0 desktop, 1 VME).
void Connect_Board(State& st, int model);
// The connection thread's body.
void Start_ConnectionThread(State& st);

// The line DACs of daughter board d's blocks into their chips: on, with the 0.5 mV step and
// the codes the records hold, when stored is true (its SAM DAC offsets were just read);
// as the records say otherwise.
void Load_SamDacOffsetsOfBoard(BoardPort port, int daughter_board, bool stored);
// What a connection loads once the board is configured: the stored SAM DAC offsets of each
// daughter board where they are valid (its line DACs stay off elsewhere), the pedestal
// tables and the board information, then the check that the pedestal tables applied were
// measured with the codes now loaded.
void Load_CalibrationsAtConnection(BoardPort port);

// Choosing a model on the connection panel resets the VME base address.
void Select_BoardModel(Settings& st, BoardLink& link, FrontEndLinks& links, int model);

// The link a model is reached by unless told otherwise: USB for the desktop board, the
// optical link for the VME board.
int Default_LinkType(int model);

// The model and link of the last board connected, kept in the user directory so that the
// next session offers them. Written after every successful connection; nothing when the
// file is absent or does not hold a valid model and link.
struct LastConnection {
  int model = kModelNone;
  int link_type = 0;
};
std::filesystem::path LastConnection_Path(const std::filesystem::path& user_dir);
bool Save_LastConnection(const std::filesystem::path& user_dir, const LastConnection& last);
std::optional<LastConnection> Load_LastConnection(const std::filesystem::path& user_dir);

}  // namespace vx
