// The File Menu panel's settings: where runs are saved, how they are named, the data
// file's format and its splitting. Each setter checks its value; a refused one is told
// and leaves the setting as it was. None changes while a run saves or sends its data: the
// names of a split series and the format of its files are the run's from start to end.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "app/board_port.h"
#include "app/field_ranges.h"
#include "app/state.h"

namespace vx {

// A base name must be a single directory name: not empty, no '/' and not "." or "..".
bool Set_BaseFileName(ControlPort port, std::string_view name);
// Refused when empty or longer than the record holds.
bool Set_DataDirectory(ControlPort port, std::string_view directory);
// 0 = ASCII, 1 = binary.
void Set_DataFileType(ControlPort port, int type);
inline constexpr IntRange kEventsPerFile = int_range_of<&AcqParams::NbOfEventsPerFile>();
// A setup may hold 0 events per file (a split run then writes one file), and stays loadable;
// whoever sets it asks for 1 or more.
inline constexpr int kFewestEventsPerFile = std::max(kEventsPerFile.lo, 1);

// Splitting on or off, and the events per file (kFewestEventsPerFile or more).
void Set_FileSplitting(ControlPort port, bool split, int events_per_file);
void Set_PopupForFileName(ControlPort port, bool popup);
// The optional parts of the run name.
void Set_RunNameParts(ControlPort port, bool date, bool time, bool run_id, bool automatic_id);
void Set_RunIdUser(ControlPort port, int id);

// The automatic run number the next run gets, counted in DataDirectory as it is now.
int Next_AutoRunId(const Settings& st);
// The name the next run's directory gets with the current settings, the automatic run
// number counted in DataDirectory as it is now.
std::string Preview_RunName(Settings& st, FrontEndLinks& links);

}  // namespace vx
