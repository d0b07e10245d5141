#include "files/file_menu.h"

#include <algorithm>

#include "app/message_log.h"
#include "files/quoted_text.h"
#include "files/run_naming.h"
#include "files/saving_run_lock.h"

namespace vx {

bool Set_BaseFileName(ControlPort port, std::string_view name) {
  if (Refuse_ChangeDuringSavingRun(port, "base file name")) return false;
  const bool single_name = !name.empty() && name != "." && name != ".." &&
                           name.find('/') == std::string_view::npos &&
                           name.find('\0') == std::string_view::npos;
  if (!single_name || name.size() >= sizeof port.settings.acq.BaseFileName) {
    Write_InfoMessage(port,
                      "Invalid base file name '" + Escaped_FileText(name) +
                          "': it must be one non-empty name without '/'.\n",
                      kError);
    return false;
  }
  set_text(port.settings.acq.BaseFileName, std::string(name).c_str());
  return true;
}

bool Set_DataDirectory(ControlPort port, std::string_view directory) {
  if (Refuse_ChangeDuringSavingRun(port, "data directory")) return false;
  if (directory.empty() || directory.size() >= sizeof port.settings.acq.DataDirectory ||
      directory.find('\0') != std::string_view::npos) {
    Write_InfoMessage(
        port,
        "Invalid data directory '" + Escaped_FileText(directory, 300) + "' (" +
            std::to_string(directory.size()) + " characters): it must be given and hold at most " +
            std::to_string(sizeof port.settings.acq.DataDirectory - 1) + " characters.\n",
        kError);
    return false;
  }
  set_text(port.settings.acq.DataDirectory, std::string(directory).c_str());
  return true;
}

void Set_DataFileType(ControlPort port, int type) {
  if (Refuse_ChangeDuringSavingRun(port, "data file format")) return;
  port.settings.acq.DataFileType = type == 1 ? 1 : 0;
}

void Set_FileSplitting(ControlPort port, bool split, int events_per_file) {
  if (Refuse_ChangeDuringSavingRun(port, "file splitting")) return;
  port.settings.acq.NbOfEventsPerFile =
      std::clamp(events_per_file, kFewestEventsPerFile, kEventsPerFile.hi);
  port.settings.acq.SplitFileToSaveData = split ? 1 : 0;
}

void Set_PopupForFileName(ControlPort port, bool popup) {
  if (Refuse_ChangeDuringSavingRun(port, "directory question")) return;
  port.settings.acq.PopupForFileName = popup ? 1 : 0;
}

void Set_RunNameParts(ControlPort port, bool date, bool time, bool run_id, bool automatic_id) {
  if (Refuse_ChangeDuringSavingRun(port, "run name")) return;
  port.settings.acq.AddSystemDate = date ? 1 : 0;
  port.settings.acq.AddSystemTime = time ? 1 : 0;
  port.settings.acq.AddRunId = run_id ? 1 : 0;
  port.settings.acq.AutoIncRunId = automatic_id ? 1 : 0;
}

void Set_RunIdUser(ControlPort port, int id) {
  if (Refuse_ChangeDuringSavingRun(port, "run number")) return;
  constexpr IntRange allowed = int_range_of<&AcqParams::RunIdUser>();
  port.settings.acq.RunIdUser = std::clamp(id, allowed.lo, allowed.hi);
}

int Next_AutoRunId(const Settings& st) {
  return next_auto_run_id(std::string(st.acq.DataDirectory, text_length(st.acq.DataDirectory)));
}

std::string Preview_RunName(Settings& st, FrontEndLinks& links) {
  return compose_run_name(st, Next_AutoRunId(st), links.clock.wall());
}

}  // namespace vx
