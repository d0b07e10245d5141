// Replaying a saved run: choosing and recognising a data file, its header, one event at a
// time in either format, and the continuation into the next file of a split series.
#pragma once

#include <filesystem>
#include <optional>

#include "app/state.h"
#include "app/status.h"

namespace vx {

// Asks for a file, then opens it. kDone: open and header accepted; kNotDone: the user declined
// a file of another version; kFailed: no file chosen, not a data file, not openable, or its
// header unusable (each told).
Status Open_FileForLoadingData(State& st);
// The same for a given path (the dialog's answer).
Status Open_DataFileForLoading(State& st, const std::filesystem::path& path);
// True when the next event is in the event record; false when this file has no more (at its
// end, or at a damaged event, which is told).
bool Read_EventsFromFile(State& st);
void Close_FileForLoadingData(RunState& st, RunOutput& output);
// The current file is exhausted: moves on to the next file of the series and reads its
// first event. True when an event was read; sets StopRequest at the end of the series
// (told with the last whole event), at a missing file (an error, unless SkipMissingFiles:
// then what the gap cost is told) and after a file that ends inside an event.
bool Load_EventFromNextFile(State& st);
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
