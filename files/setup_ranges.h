// The values of a setup file that the program uses, checked before anything of the file is
// applied: counts and indexes that size or index its arrays, switches, choices, and the
// floating-point values (finite, within the ranges the controls allow).
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/params.h"

namespace vx {

struct SetupImages {
  SystemParams sys{};
  AcqParams acq{};
  std::array<SAMBlockParams, kMaxSamBlocks> sam{};
  GuiParams gui{};
};

// "Record.Field = value is out of range (lo to hi)" for the first value out of its range,
// nothing when every value is usable. blocks: the number of block images in the file.
std::optional<std::string> Find_SetupValueOutOfRange(const SetupImages& images, int blocks);

}  // namespace vx
