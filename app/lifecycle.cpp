#include "app/lifecycle.h"

#include <csignal>

#include "app/message_log.h"

namespace vx {

void Start_Core(State& st, const std::filesystem::path& user_path) {
  // A file-size limit must fail the write like a full disk does, not kill the program in
  // the middle of an event before the file is cut back to its last whole event.
  std::signal(SIGXFSZ, SIG_IGN);
  st.UserPath = user_path;
  st.log.file = user_path / "logfile.txt";
  st.log.open_file(1);
  st.log.close_file();

  st.ui.set_window_title(main_window_title(st.sys));

  st.board.LinkType = 0;
  st.board.LinkNumber = 0;
  st.board.ConetNode = 0;
  st.board.VMEBaseAddress = 0;
  st.board.PIDNumber = 0;
  set_text(st.board.IPAddress, kDefaultBoardIpAddress);
  st.ui.refresh_panel(Panel::Connection);
  st.ui.show_panel(Panel::Connection, true);
}

void Shutdown_Core(State& st) {
  // Also a handle that a communication error left open.
  if ((st.Board_Connected.load() == 1 || st.DeviceHandle.load() >= 0) && st.hooks.close_device)
    st.hooks.close_device();
  st.log.close_file();
}

std::string main_window_title(const SystemParams& sys) {
  const std::string version = kSoftwareVersion;
  if (sys.SyncMode == 0) return "VELTRIX " + version;
  if (sys.BoardMasterMode == 1) return "VELTRIX " + version + " : SYNC MODE - MASTER BOARD";
  // The degree sign of "N°" is written as UTF-8 here; every front end shows UTF-8.
  return "VELTRIX " + version + " : SYNC MODE - SLAVE BOARD N\u00b0 " +
         std::to_string(sys.SlaveNumber) + " ";
}

}  // namespace vx
