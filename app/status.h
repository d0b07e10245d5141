// What the core's operations that can be declined, refused or fail answer, listed once for all
// of them. The numbers are the ones the front ends and remote control compare with.
#pragma once

namespace vx {

enum Status : int {
  kFailed = -1,  // not done, and said why: refused, nothing usable to open, a file error
  kNotDone = 0,  // not done, and nothing wrong: the user declined
  kDone = 1,
};

}  // namespace vx
