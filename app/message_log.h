// Time-stamped messages: the three message tabs, the warning/error popups and the log
// file, which is opened and closed for every message so it is complete on disk at all
// times. Callable from any thread.
#pragma once

#include <string>

#include "app/state.h"

namespace vx {

inline constexpr int kInfo = 0;
inline constexpr int kWarning = 1;
inline constexpr int kError = 2;
// A warning that raises no popup: the notes a connection or a run start gives along its way
// (a table not valid, a calibration's conditions), which would stop the user at every
// connection if each were a popup. It goes to the Warnings tab and the log as a warning.
inline constexpr int kWarningNoPopup = 3;

void Write_InfoMessage(State& st, const std::string& text, int kind);

// Mode 1 creates or empties the log file; any other mode appends. Returns false when the
// file cannot be opened.
bool Open_FileForSavingLogFile(State& st, int mode);
void Close_FileForSavingLogFile(State& st);

// The help message panel: its text replaced by text, moved to the mouse position and
// shown. Callable from any thread.
void Write_HelpMessage(State& st, const std::string& text);

// The "%dh:%dmin:%ds: " prefix of a message written at the given wall-clock time.
std::string message_prefix(int hour, int minute, int second);

}  // namespace vx
