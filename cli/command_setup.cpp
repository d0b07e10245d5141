#include <cstdio>
#include <filesystem>

#include "cli/commands.h"
#include "cli/setup_changes.h"
#include "files/setup_file.h"

namespace vx::cli {

int command_setup_save(Session& session, const std::string& file) {
  if (!session.connect()) return 1;
  // The save dialog is answered with the file named on the command line.
  session.ui().file_answer = std::filesystem::absolute(file);
  return Save_SetupInFile(session.state(), session.state()) == 1 ? 0 : 1;
}

int command_setup_load(Session& session, const std::string& file) {
  if (!session.connect()) return 1;
  State& st = session.state();
  const RestoredRecords before = snapshot_restored_records(st);
  if (Load_SetupFromFile(st, file, 0) != 1) return 1;
  const auto changes = describe_changes(before, snapshot_restored_records(st));
  if (changes.empty()) {
    std::printf("No setting changed.\n");
  } else {
    std::printf("%zu value%s changed:\n", changes.size(), changes.size() == 1 ? "" : "s");
    for (const auto& line : changes) std::printf("  %s\n", line.c_str());
  }
  return 0;
}

}  // namespace vx::cli
