#include "cli/no_event_hint.h"

#include <algorithm>
#include <cstdio>

#include "platform/digitizer.h"

namespace vx::cli {

namespace {

bool self_triggered(const State& st) {
  return st.sys.TriggerSource == 1 || st.sys.TriggerSource == 2;
}

}  // namespace

std::string no_event_hint(const State& st) {
  std::string text = "No event read for 5 s. Trigger sources:";
  const int channels = std::clamp(st.sys.NbOfChannels, 0, kMaxChannels);
  auto setting = [&](int ch) {
    const SAMBlockParams& blk = st.sam[ch / 2];
    char line[64];
    std::snprintf(line, sizeof line, "threshold %+.3f V, %s edge",
                  static_cast<double>(blk.TriggerThreshold[ch % 2]),
                  blk.TriggerPolarity[ch % 2] == kPolarityFallingEdge ? "falling" : "rising");
    return std::string(line);
  };
  auto source = [&](int ch) { return st.sam[ch / 2].TriggerEnable[ch % 2] != 0; };
  int sources = 0;
  // Neighbouring sources with the same threshold and edge share one line.
  for (int ch = 0; ch < channels;) {
    if (!source(ch)) {
      ++ch;
      continue;
    }
    int last = ch;
    while (last + 1 < channels && source(last + 1) && setting(last + 1) == setting(ch)) ++last;
    const std::string name = last == ch ? "ch" + std::to_string(ch)
                                        : "ch" + std::to_string(ch) + "-" + std::to_string(last);
    char line[128];
    std::snprintf(line, sizeof line, "\n  %-8s %s", name.c_str(), setting(ch).c_str());
    text += line;
    sources += last - ch + 1;
    ch = last + 1;
  }
  if (sources == 0) text += " none";
  text +=
      "\nChange them with --threshold SEL=VOLTS, --edge SEL=rising|falling and "
      "--trigger-channels LIST (SEL: N, N-M or all).\n";
  return text;
}

NoEventHint::NoEventHint(State& st) : st_(st), start_(st.clock.now()) {}

void NoEventHint::update() {
  if (shown_ || !self_triggered(st_)) return;
  if (st_.EventNumber.load() != st_.FirstEventNumber.load()) {
    shown_ = true;  // events come in: no hint for this run
    return;
  }
  if (st_.clock.now() - start_ < kNoEventHintSeconds) return;
  shown_ = true;
  std::fprintf(stderr, "\n%s", no_event_hint(st_).c_str());
}

}  // namespace vx::cli
