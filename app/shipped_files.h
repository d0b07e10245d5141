// Files the program ships beside its executables: the user's guide and the icon.
#pragma once

#include <filesystem>

namespace vx {

// The shipped files live in a share/ folder next to the executables' bin/ folder: installed,
// /usr/bin/veltrix reads /usr/share; in the build tree the build stages them into build/share,
// next to build/ui and build/cli.
std::filesystem::path shipped_data_dir(const std::filesystem::path& executable_dir);

// The folder of the user's guide and its pictures.
std::filesystem::path user_guide_dir(const std::filesystem::path& executable_dir);

// The user's guide to open: its HTML rendering when there is one, else its Markdown source;
// empty when neither is there.
std::filesystem::path find_user_guide(const std::filesystem::path& executable_dir);

// The application icon as a PNG picture; empty when it is not there.
std::filesystem::path find_app_icon(const std::filesystem::path& executable_dir);

}  // namespace vx
