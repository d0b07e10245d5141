// Help > Software User's Guide: the guide shipped with the program, in the system's viewer.
#pragma once

#include <filesystem>

namespace vx::ui {

class Dialogs;

// Opens the user's guide found from executable_dir (see app/shipped_files.h) with the
// desktop's default viewer; says so in a popup when it is missing or no viewer opens it.
// Returns whether the guide was handed to a viewer.
bool open_user_guide(Dialogs& dialogs, const std::filesystem::path& executable_dir);

}  // namespace vx::ui
