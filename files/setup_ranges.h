// The values of a setup file that the program uses, checked before anything of the file is
// applied: counts and indexes that size or index its arrays, switches, choices, and the
// floating-point values (finite, within the ranges the controls allow).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "app/params.h"

namespace vx {

struct SetupImages {
  SystemParams sys{};
  AcqParams acq{};
  std::array<SAMBlockParams, kMaxSamBlocks> sam{};
  GuiParams gui{};
};

// One checked field of a record (every element of an array field, every block's copy of a
// SAMBlockParams field), with the range the controls give it.
struct SetupFieldRange {
  enum class Record { System, Acq, Block, Gui };
  enum class Kind { I32, U16, F32, F64 };
  Record record;
  const char* name;
  std::size_t offset;  // of the first element in the record
  Kind kind;
  int count;  // elements
  double lo, hi;
};
// The table of checked fields. Some bounds depend on the file besides (the channel count,
// a threshold around its offset, the record length of block 0's depth): those are checked
// on top of the table.
std::span<const SetupFieldRange> Setup_FieldRanges();

// "Record.Field = value is out of range (lo to hi)" for the first value out of its range,
// nothing when every value is usable. blocks: the number of block images in the file.
std::optional<std::string> Find_SetupValueOutOfRange(const SetupImages& images, int blocks);

}  // namespace vx
