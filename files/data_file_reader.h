// Replaying a saved run: choosing and recognising a data file, its header, one event at a
// time in either format, and the continuation into the next file of a split series.
#pragma once

#include <filesystem>

#include "app/state.h"

namespace vx {

// Asks for a file, then opens it. 1 = open and header accepted; 0 = header unreadable or
// an older version declined; -1 = no file chosen, not a data file, or not openable.
int Open_FileForLoadingData(State& st);
// The same for a given path (the dialog's answer).
int Open_DataFileForLoading(State& st, const std::filesystem::path& path);
// 1 = the next event is in the event record; 0 = no more events in this file.
int Read_EventsFromFile(State& st);
void Close_FileForLoadingData(State& st);
// The current file is exhausted: moves on to the next file of the series and reads its
// first event. Returns 1 when an event was read; sets StopRequest at the end of the series.
int Load_EventFromNextFile(State& st);
// The "Run from File" option: on saves the settings (a loaded file overwrites them), off
// restores them; both close an open replay file.
void Set_RunFromFile(State& st, int on);

}  // namespace vx
