// Setup files: two text lines and the raw images of the parameter records, stored with
// Windows text-mode line ends (every 0x0A byte, image bytes included, as 0x0D 0x0A).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "app/state.h"

namespace vx {

inline constexpr const char* kSetupFileFirstLine = "*** Setup File VELTRIX SOFTWARE Version: ***\n";

// Asks for the file in a save dialog under the user folder's "Setup" and writes it there.
// 1 on success, -1 otherwise (the failure is reported).
int Save_SetupInFile(Settings& st, FrontEndLinks& links);
// Writes the setup to path through a temporary file in the same folder, so that a save
// that fails half-way leaves the previous file as it was. 1 on success, -1 otherwise.
int Write_SetupFile(Settings& st, FrontEndLinks& links, const std::filesystem::path& path);
// dialog 1: the file is chosen in an open dialog and path is ignored; 0: path is loaded.
// 1 on success, -1 otherwise; the refusal told is also put in refusal (one line) when given.
// Only regular files are read, and at most a few times a setup's size.
int Load_SetupFromFile(State& st, const std::string& path, int dialog,
                       std::string* refusal = nullptr);

// The file's bytes as the running records would be written, before the line-end
// translation.
std::string setup_file_contents(const Settings& st);
// Line-end translation of the whole file: LF to CR LF, and CR LF back to LF.
std::string to_text_mode(std::string_view bytes);
std::string from_text_mode(std::string_view bytes);

}  // namespace vx
