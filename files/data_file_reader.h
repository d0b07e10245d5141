// Replaying a saved run: choosing and recognising a data file, its header, one event at a
// time in either format, and the continuation into the next file of a split series.
#pragma once

#include <filesystem>
#include <optional>

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
// first event. Returns 1 when an event was read; sets StopRequest at the end of the series
// (told with the last whole event), at a missing file (an error, unless SkipMissingFiles:
// then what the gap cost is told) and after a file that ends inside an event.
int Load_EventFromNextFile(State& st);
// The name of file index of the series that begins with first: "<first>_0001" for 1.
std::filesystem::path continuation_name(const std::filesystem::path& first, int index);
// The number of the series' next file from index on: index itself when that file is there,
// else the lowest later one present (files in between are missing), else none (the series
// ends before index).
std::optional<int> Next_SeriesFile(const std::filesystem::path& first, int index);
// The "Run from File" option: on saves the settings (a loaded file overwrites them), off
// restores them; both close an open replay file.
void Set_RunFromFile(State& st, int on);

}  // namespace vx
