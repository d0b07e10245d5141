#include "app/lifecycle.h"

#include <csignal>

#include "app/message_log.h"

namespace vx {

void Start_Core(Settings& st, FrontEndLinks& links, const std::filesystem::path& user_path) {
  // A file-size limit must fail the write like a full disk does, not kill the program in
  // the middle of an event before the file is cut back to its last whole event.
  std::signal(SIGXFSZ, SIG_IGN);
  links.UserPath = user_path;
  links.log.file = user_path / "logfile.txt";
  links.log.open_file(1);
  links.log.close_file();

  links.ui.set_window_title(main_window_title(st.sys));

  st.board.LinkType = 0;
  st.board.LinkNumber = 0;
  st.board.ConetNode = 0;
  st.board.VMEBaseAddress = 0;
  st.board.PIDNumber = 0;
  set_text(st.board.IPAddress, kDefaultBoardIpAddress);
  links.ui.refresh_panel(Panel::Connection);
  links.ui.show_panel(Panel::Connection, true);
}

void Shutdown_Core(BoardLink& st, FrontEndLinks& links) {
  // Also a handle that a communication error left open.
  if ((st.Board_Connected.load() == 1 || st.DeviceHandle.load() >= 0) && links.hooks.close_device)
    links.hooks.close_device();
  links.log.close_file();
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
