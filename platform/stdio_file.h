// A C stream closed when its owner goes.
#pragma once

#include <cstdio>
#include <memory>

namespace vx {

struct StdioFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioFileCloser>;

}  // namespace vx
