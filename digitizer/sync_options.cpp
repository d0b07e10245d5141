#include "digitizer/sync_options.h"

#include "app/lifecycle.h"
#include "digitizer/board_configuration.h"

namespace vx {

void Set_SyncOption(BoardPort port, SyncOption option, int value) {
  SystemParams& s = port.settings.sys;
  switch (option) {
    case SyncOption::SyncMode:
      s.SyncMode = value;
      break;
    case SyncOption::BoardMasterMode:
      s.BoardMasterMode = value;
      break;
    case SyncOption::SlaveNumber:
      s.SlaveNumber = value;
      break;
    case SyncOption::NumberOfSlaves:
      s.NumberOfSlaves = value;
      break;
    case SyncOption::UseLvdsIO:
      s.UseLvdsIO = value;
      break;
    case SyncOption::VetoInExtraLatency:
      s.VetoInExtraLatency = value;
      break;
  }
  Set_SystemTriggerMode(port);
  port.links.ui.refresh_panel(Panel::AllValues);
  port.links.ui.refresh_panel(Panel::Sync);
  if (option != SyncOption::VetoInExtraLatency)
    port.links.ui.set_window_title(main_window_title(s));
}

}  // namespace vx
