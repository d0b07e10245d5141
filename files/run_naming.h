// Names of runs: the base name with the remote run number, date, time and run id, and
// the next automatic run id found among the run directories already there.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/state.h"
#include "platform/clock.h"

namespace vx {

// The number right behind the first "run" of a directory name, if there is one.
std::optional<int> run_id_in_name(std::string_view name);
// One more than the largest run id among the sub-directories of directory (1 if none).
int next_auto_run_id(const std::filesystem::path& directory);
// Sets AutoRunId from the directory and shows it.
void Update_AutoRunId(Settings& st, FrontEndLinks& links, const std::filesystem::path& directory);
// The run name for the current options with the given automatic run id; changes nothing.
std::string compose_run_name(const Settings& st, int auto_run_id, const WallTime& now);
// The run name for the current options; calls Update_AutoRunId when the run id is added.
std::string build_run_name(Settings& st, FrontEndLinks& links,
                           const std::filesystem::path& base_directory, const WallTime& now);

}  // namespace vx
