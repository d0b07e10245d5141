// The core's share of start-up and shutdown; the front ends add their windows around it.
#pragma once

#include <filesystem>
#include <string>

#include "app/state.h"

namespace vx {

inline constexpr const char* kDefaultBoardIpAddress = "192.168.1.100";

// Sets the user data directory and the log file (emptied: it holds only this program
// run's messages), the window title and the connection defaults.
void Start_Core(Settings& st, FrontEndLinks& links, const std::filesystem::path& user_path);

// Closes the board if one is still open, then the log file.
void Shutdown_Core(BoardLink& st, FrontEndLinks& links);

// "VELTRIX V1.8.5", or the synchronised-mode variants.
std::string main_window_title(const SystemParams& sys);

}  // namespace vx
