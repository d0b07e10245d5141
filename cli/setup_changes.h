// What a setup load changed, field by field, for the command line.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/state.h"

namespace vx::cli {

// The records a setup file restores.
struct RestoredRecords {
  SystemParams sys;
  AcqParams acq;
  std::array<SAMBlockParams, kMaxSamBlocks> sam;
  GuiParams gui;
};

RestoredRecords snapshot_restored_records(const Settings& st);
// One line per changed value, by its label and where it sits:
// "Pulse threshold (ADC counts), channel 13: 0 -> -81.5".
std::vector<std::string> describe_changes(const RestoredRecords& before,
                                          const RestoredRecords& after);

}  // namespace vx::cli
