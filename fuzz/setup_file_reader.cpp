// Loading a setup file of arbitrary bytes on a connected (simulated) board: every input is
// refused with nothing changed, or loaded and applied to the board. A loaded setup must be
// one the program can save again and load back to the very same records, and the command
// line's account of what changed must be printable.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cli/setup_changes.h"
#include "files/setup_file.h"
#include "fuzz/connected_core.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vx::fuzzing::ConnectedCore core("setup");
  vx::State& st = core.st;
  core.initial.restore(st);
  const auto path = core.dir / "Setup_fuzz.dat";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  const auto before = vx::cli::snapshot_restored_records(st);
  if (vx::Load_SetupFromFile(st, path.string(), 0) != 1) {
    if (!(vx::fuzzing::Records::of(st) == core.initial)) std::abort();
    return 0;
  }
  vx::cli::describe_changes(before, vx::cli::snapshot_restored_records(st));
  // Saving builds the register images from the loaded values; that setup must load back.
  const auto again = core.dir / "Setup_again.dat";
  if (vx::Write_SetupFile(st, st, again) != 1) std::abort();
  const auto saved = vx::fuzzing::Records::of(st);
  core.initial.restore(st);
  if (vx::Load_SetupFromFile(st, again.string(), 0) != 1) std::abort();
  if (!(vx::fuzzing::Records::of(st) == saved)) std::abort();
  return 0;
}
