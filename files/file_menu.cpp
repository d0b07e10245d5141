#include "files/file_menu.h"

#include <algorithm>

#include "app/message_log.h"
#include "files/quoted_text.h"
#include "files/run_naming.h"
#include "files/saving_run_lock.h"

namespace vx {

bool Set_BaseFileName(State& st, std::string_view name) {
  if (Refuse_ChangeDuringSavingRun(st, "base file name")) return false;
  const bool single_name = !name.empty() && name != "." && name != ".." &&
                           name.find('/') == std::string_view::npos &&
                           name.find('\0') == std::string_view::npos;
  if (!single_name || name.size() >= sizeof st.acq.BaseFileName) {
    Write_InfoMessage(st,
                      "Invalid base file name '" + Escaped_FileText(name) +
                          "': it must be one non-empty name without '/'.\n",
                      kError);
    return false;
  }
  set_text(st.acq.BaseFileName, std::string(name).c_str());
  return true;
}

bool Set_DataDirectory(State& st, std::string_view directory) {
  if (Refuse_ChangeDuringSavingRun(st, "data directory")) return false;
  if (directory.empty() || directory.size() >= sizeof st.acq.DataDirectory ||
      directory.find('\0') != std::string_view::npos) {
    Write_InfoMessage(st,
                      "Invalid data directory '" + Escaped_FileText(directory, 300) + "' (" +
                          std::to_string(directory.size()) +
                          " characters): it must be given and hold at most " +
                          std::to_string(sizeof st.acq.DataDirectory - 1) + " characters.\n",
                      kError);
    return false;
  }
  set_text(st.acq.DataDirectory, std::string(directory).c_str());
  return true;
}

void Set_DataFileType(State& st, int type) {
  if (Refuse_ChangeDuringSavingRun(st, "data file format")) return;
  st.acq.DataFileType = type == 1 ? 1 : 0;
}

void Set_FileSplitting(State& st, bool split, int events_per_file) {
  if (Refuse_ChangeDuringSavingRun(st, "file splitting")) return;
  st.acq.NbOfEventsPerFile = std::clamp(events_per_file, kFewestEventsPerFile, kEventsPerFile.hi);
  st.acq.SplitFileToSaveData = split ? 1 : 0;
}

void Set_PopupForFileName(State& st, bool popup) {
  if (Refuse_ChangeDuringSavingRun(st, "directory question")) return;
  st.acq.PopupForFileName = popup ? 1 : 0;
}

void Set_RunNameParts(State& st, bool date, bool time, bool run_id, bool automatic_id) {
  if (Refuse_ChangeDuringSavingRun(st, "run name")) return;
  st.acq.AddSystemDate = date ? 1 : 0;
  st.acq.AddSystemTime = time ? 1 : 0;
  st.acq.AddRunId = run_id ? 1 : 0;
  st.acq.AutoIncRunId = automatic_id ? 1 : 0;
}

void Set_RunIdUser(State& st, int id) {
  if (Refuse_ChangeDuringSavingRun(st, "run number")) return;
  constexpr IntRange allowed = int_range_of<&AcqParams::RunIdUser>();
  st.acq.RunIdUser = std::clamp(id, allowed.lo, allowed.hi);
}

int Next_AutoRunId(const Settings& st) {
  return next_auto_run_id(std::string(st.acq.DataDirectory, text_length(st.acq.DataDirectory)));
}

std::string Preview_RunName(Settings& st, FrontEndLinks& links) {
  return compose_run_name(st, Next_AutoRunId(st), links.clock.wall());
}

}  // namespace vx
