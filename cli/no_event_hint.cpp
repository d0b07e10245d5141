#include "cli/no_event_hint.h"

#include <unistd.h>

#include <cstdio>

namespace vx::cli {

void NoEventHint::update() {
  const auto text = watch_.poll();
  if (!text) return;
  // A progress line on a terminal has no line end yet.
  std::fprintf(stderr, "%s%s%s", isatty(STDERR_FILENO) != 0 ? "\n" : "", text->c_str(),
               kNoEventHintOptions);
}

}  // namespace vx::cli
