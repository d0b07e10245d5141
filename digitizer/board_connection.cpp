#include "digitizer/board_connection.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/field_ranges.h"
#include "app/message_log.h"
#include "app/parameters.h"
#include "app/record_loan.h"
#include "digitizer/board_configuration.h"
#include "digitizer/connection_rules.h"
#include "digitizer/dacs.h"
#include "digitizer/register_access.h"
#include "eeprom/calibration_tables.h"
#include "eeprom/eeprom_access.h"
#include "eeprom/eeprom_info.h"

namespace vx {

namespace {

LinkArg link_argument(const BoardParams& bp) {
  switch (bp.LinkType) {
    case 6:
      return std::string(bp.IPAddress, text_length(bp.IPAddress));
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
      return bp.PIDNumber;
    default:
      return static_cast<std::uint32_t>(bp.LinkNumber);
  }
}

void set_block_count(Settings& st, BoardLink& link, int blocks) {
  st.sys.NbOfSAMBlocks = blocks;
  st.sys.NbOfChannels = 2 * blocks;
  link.Nb_Of_SAM_Blocks = blocks;
}

// Every table held so far was measured on, or read from, the unit connected before: none of
// them is this board's to store.
void forget_held_tables(BoardLink& st) {
  CalibrationData& k = st.calib;
  k.PedestalTableHeld.fill(false);
  k.PedestalLineDacs.fill(LineDacSettings{});
  k.AppliedPedestalsValid.fill(false);
  for (auto& block : k.TimePedestalsHeld) block.fill(false);
  k.SamDacCodesHeld.fill(false);
  k.SamDACOffsetDone = false;
  k.TriggerDACsOffsetDone = false;
  st.inl.computed = false;
  st.inl.usable = false;
  st.inl.measured.fill(false);
}

void init_measurement_results(BoardLink& st, RunState& run_state) {
  for (auto& block : st.calib.MeanThreshold) block.fill(0.0f);
  Init_MeasurementResults(run_state);
}

}  // namespace

int Open_Device(BoardPort port) {
  // A handle left open (a communication error clears Board_Connected, not the handle)
  // would make the board refuse to open again.
  if (port.link.DeviceHandle.load() >= 0) Close_Device(port);
  port.link.Board_Connected = 0;
  port.link.Communication_Error = 0;
  int handle = -1;
  const int rc =
      port.link.digitizer == nullptr
          ? static_cast<int>(kDgtzBoardNotFound)
          : port.link.digitizer->OpenDigitizer2(
                port.settings.board.LinkType, link_argument(port.settings.board),
                port.settings.board.ConetNode, port.settings.board.VMEBaseAddress, &handle);
  if (rc < 0) {
    port.link.DeviceHandle = -1;
    char text[96];
    std::snprintf(text, sizeof text, "CONNECTION TO BOARD FAILED! Error Code : %d \n", rc);
    Write_InfoMessage(port.links.log, text, kError);
    set_block_count(port, port, 0);
    return 0;
  }
  port.link.DeviceHandle = handle;
  port.link.Board_Connected = 1;

  BoardInfo info{};
  port.link.digitizer->GetInfo(handle, &info);
  std::memcpy(port.settings.board.BoardInfo, &info, sizeof info);
  // The block count comes from the board: never trust it beyond what the arrays hold.
  set_block_count(port, port,
                  static_cast<int>(std::min<std::uint32_t>(info.Channels, kMaxSamBlocks)));

  if (info.PCB_Revision <= 3) {
    std::uint32_t value = 0;
    Read_Register(port, handle, &value, 0x8168);
    Write_Register(port, handle, value | 0x8u, 0x8168);
  }
  return 1;
}

namespace {

void initialization_failed(FrontEndLinks& st) {
  Write_InfoMessage(st,
                    "Error : Device Initialization failed!\nMake sure that the device is "
                    "connected!\nthen click on the Reboot button.\n",
                    kError);
}

}  // namespace

void Sam_Init(State& st) {
  Write_InfoMessage(st, "Please wait until the end of the initialization...\n", kInfo);
  forget_held_tables(st);
  const bool opened = st.Board_Connected.load() == 0 && Open_Device(st) == 1;
  if (!opened) {
    Init_Params(st);
    init_measurement_results(st, st);
    initialization_failed(st);
    return;
  }

  Stop_AcquisitionAndWait(st);
  Write_InfoMessage(st, "End of Device initialization. \n", kInfo);
  Init_Params(st);
  const int h = st.DeviceHandle.load();
  st.digitizer->SetMaxNumEventsBLT(
      h, static_cast<std::uint32_t>(std::max(int{st.acq.MaxNumEventsBLT},
                                             int_range_of<&AcqParams::MaxNumEventsBLT>().lo)));
  st.digitizer->MallocReadoutBuffer(h, &st.readout);
  Read_MotherBoardFPGAVersion(st);
  // Every block's version, logged for block 0: the INL files of a block carry its own.
  for (int b = 0; b < std::clamp(int{st.sys.NbOfSAMBlocks}, 1, kMaxSamBlocks); ++b)
    Read_FPGAVersion(st, b);
  init_measurement_results(st, st);
  Set_AllBoardParameters(st);
  Load_CalibrationsAtConnection(st);
  // A board that did not take its whole set-up is not connected: a run on it would use
  // settings it never received.
  if (st.Communication_Error.load() == 1) {
    Close_Device(st);
    set_block_count(st, st, 0);
    initialization_failed(st);
    return;
  }
  Write_InfoMessage(st, "End of Hardware Setup. \n", kInfo);
}

void Close_Device(BoardPort port) {
  if (port.link.DeviceHandle.load() >= 0 && port.link.digitizer != nullptr) {
    Stop_AcquisitionAndWait(port);
    const int h = port.link.DeviceHandle.load();
    if (port.link.ChargeEventsAllocated) {
      port.link.digitizer->FreeDPPEvents(h, &port.link.ChargeEventsBuffer);
      port.link.ChargeEventsAllocated = false;
    }
    port.link.digitizer->FreeReadoutBuffer(h, &port.link.readout);
    port.link.digitizer->CloseDigitizer(h);
    port.link.DeviceHandle = -1;
  }
  port.link.Board_Connected = 0;
}

std::string Read_MotherBoardFPGAVersion(BoardPort port) {
  std::uint32_t value = 0;
  Read_Register(port, port.link.DeviceHandle.load(), &value, 0x8124);
  char text[100];
  std::snprintf(text, sizeof text, "V%d.%d", static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>(value & 0xFF));
  port.link.MotherBoardFirmware = text;
  Write_InfoMessage(port.links.log,
                    std::string("Mother Board Firmware Version is : ") + text + "\n", kInfo);
  return text;
}

std::string Read_FPGAVersion(BoardPort port, int block) {
  if (block < 0 || block >= kMaxSamBlocks) return {};
  std::uint32_t value = 0;
  Read_Register(port, port.link.DeviceHandle.load(), &value, 0x108C + 0x100u * block);
  port.link.BoardVersionFromFPGA[block] = static_cast<int>((value >> 20) & 0xF);
  port.link.FPGAVersion[block] = static_cast<int>((value >> 8) & 0xFF);
  port.link.FPGAEvolution[block] = static_cast<int>(value & 0xFF);
  char text[100] = "";
  if (block == 0) {
    std::snprintf(text, sizeof text, "Daughter Boards Firmware  Version is: V%d-%d.%d.\n",
                  port.link.BoardVersionFromFPGA[0], port.link.FPGAVersion[0],
                  port.link.FPGAEvolution[0]);
    port.link.DaughterBoardFirmware = text;
    Write_InfoMessage(port.links.log, text, kInfo);
  }
  return text;
}

void Connect_Board(State& st, int model) {
  if (model == kModelNone) {
    Write_InfoMessage(st, "Select a valid board model and try again.\n", kWarning);
    return;
  }
  if (Records_Lent(st)) {
    Write_InfoMessage(st, "A calibration or the rate scan is running: connect once it is over.\n",
                      kWarning);
    return;
  }
  // Claimed here, on the user-interface thread, before the board in use is closed (closing
  // turns the event loop): a second press can neither close the board under a connection
  // thread nor schedule a second one, and whoever watches sees a connection going on.
  std::int32_t released = 1;
  if (!st.ConnectingThreadReleased.compare_exchange_strong(released, 0)) return;
  st.Connecting = 1;
  // The next tick shows the outcome even when the connection ends before any tick saw it.
  st.SavedConnecting = 1;
  st.SelectedModel = model;
  if (st.Board_Connected.load() == 1 || st.DeviceHandle.load() >= 0) {
    Close_Device(st);
    st.Board_Connected = 0;
    st.clock.delay(1.0);
  }
  if (st.hooks.select_board_model) st.hooks.select_board_model(model);
  // The connection thread initialises and applies the records: they are its alone until it
  // has finished.
  Lend_Records(st, [&st] { Start_ConnectionThread(st); });
}

void Start_ConnectionThread(State& st) {
  st.ConnectingThreadReleased = 0;
  st.Connecting = 1;
  Sam_Init(st);
  if (st.Board_Connected.load() == 1 && !st.UserPath.empty())
    Save_LastConnection(st.UserPath, {st.SelectedModel, st.board.LinkType});
  st.ui.post([&st] { st.ui.show_panel(Panel::Main, true); });
  st.Connecting = 0;
  st.ConnectingThreadReleased = 1;
}

void Load_SamDacOffsetsOfBoard(BoardPort port, int d, bool stored) {
  for (int block = 2 * d; block <= 2 * d + 1 && block < kMaxSamBlocks; ++block) {
    LineDacSettings s = line_dac_settings(port.settings.sam[block]);
    if (stored) s.reg2_bits = kSamDacsCalibrated;
    Load_SamLineDacs(port, block, s);
  }
  if (!stored) return;
  char text[96];
  std::snprintf(text, sizeof text, "Daughter Board [%d]'s SAM DAC Offsets loaded from EEPROM.\n",
                d);
  Write_InfoMessage(port.links.log, text, kInfo);
}

void Load_CalibrationsAtConnection(BoardPort port) {
  for (int d = 0; d < daughter_board_count(port); ++d) {
    const bool stored = Read_SAMDACsOffsets_From_EEPROM(port, port, port.links.log, d, 0) == 0;
    Read_Pedestal_Values_From_EEPROM(port, port.links.log, d, 0);
    Read_EEPROM_Info(port, port, port, d);
    // Also without stored offsets: the chips then get the records' DACs off, whatever they
    // held before.
    Load_SamDacOffsetsOfBoard(port, d, stored);
  }
  // The library took its correction data from the EEPROMs when the board was opened.
  Note_AppliedPedestals(port, port, port.links.log);
  Check_PedestalLineDacs(port, port, port.links.log);
}

void Select_BoardModel(Settings& st, BoardLink& link, FrontEndLinks& links, int model) {
  link.SelectedModel = model;
  st.board.VMEBaseAddress = base_address_for_model(model);
  links.ui.refresh_panel(Panel::Connection);
}

int Default_LinkType(int model) {
  return model == kModelDesktop ? 0 : 1;
}

std::filesystem::path LastConnection_Path(const std::filesystem::path& user_dir) {
  return user_dir / "LastConnection.txt";
}

bool Save_LastConnection(const std::filesystem::path& user_dir, const LastConnection& last) {
  const auto path = LastConnection_Path(user_dir);
  auto temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << "model " << last.model << "\nlink " << last.link_type << "\n";
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  return !ec;
}

std::optional<LastConnection> Load_LastConnection(const std::filesystem::path& user_dir) {
  std::ifstream in(LastConnection_Path(user_dir));
  std::string model_key, link_key;
  LastConnection last;
  if (!(in >> model_key >> last.model >> link_key >> last.link_type)) return std::nullopt;
  if (model_key != "model" || link_key != "link") return std::nullopt;
  if (last.model != kModelDesktop && last.model != kModelVme) return std::nullopt;
  if (last.link_type < 0 || last.link_type > 7) return std::nullopt;
  return last;
}

}  // namespace vx
