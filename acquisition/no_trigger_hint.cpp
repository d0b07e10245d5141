#include "acquisition/no_trigger_hint.h"
#include "app/run_from_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace vx {

namespace {

constexpr int kSourceNormal = 1;
constexpr int kSourceExternal = 3;

std::string printed(const char* format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string millivolts(double volts) {
  return printed("%.0f mV", std::fabs(volts) * 1000.0);
}

// What a threshold sees of an input: empty when it can fire on it or nothing is known.
std::string verdict(const InputSignal& in, double threshold) {
  switch (in.kind) {
    case InputSignal::Kind::kUnknown:
      return {};
    case InputSignal::Kind::kNone:
      return "no signal at this input (baseline and noise only)";
    case InputSignal::Kind::kSine:
      if (std::fabs(threshold) < in.excursion_v) return {};
      return "beyond the sine's amplitude of " + millivolts(in.excursion_v);
    case InputSignal::Kind::kPulse:
      break;
  }
  const char* sign = in.excursion_v < 0.0 ? "negative" : "positive";
  if (threshold * in.excursion_v <= 0.0)
    return std::string("on the other side of the baseline from the ") + sign + " pulses (" +
           millivolts(in.excursion_v) + ")";
  if (std::fabs(threshold) >= std::fabs(in.excursion_v))
    return std::string("beyond the height of the ") + sign + " pulses (" +
           millivolts(in.excursion_v) + ")";
  return {};
}

// The setting that would see the pulses, for the advice line.
std::string advice(const InputSignal& in) {
  if (in.kind != InputSignal::Kind::kPulse) return {};
  const double half = in.excursion_v / 2.0;
  if (in.excursion_v < 0.0)
    return printed(
        "Negative pulses need a negative threshold, between 0 and %+.3f V (for example %+.3f V), "
        "and the falling edge.\n",
        in.excursion_v, half);
  return printed(
      "Positive pulses need a positive threshold, between 0 and %+.3f V (for example %+.3f V), "
      "and the rising edge.\n",
      in.excursion_v, half);
}

std::string channel_setting(const SamBlocks& sam, int ch) {
  const SAMBlockParams& blk = sam[ch / 2];
  return printed("threshold %+.3f V, %s edge", static_cast<double>(blk.TriggerThreshold[ch % 2]),
                 blk.TriggerPolarity[ch % 2] == kPolarityFallingEdge ? "falling" : "rising");
}

std::string channel_line(const SamBlocks& sam, const KnownInputs& inputs, int ch) {
  const std::string seen = verdict(inputs[ch], sam[ch / 2].TriggerThreshold[ch % 2]);
  return channel_setting(sam, ch) + (seen.empty() ? "" : ": " + seen);
}

// One line per run of neighbouring sources that read the same; the advice lines after them.
std::string sources_text(const Settings& st, const KnownInputs& inputs) {
  const int channels = std::clamp(int{st.sys.NbOfChannels}, 0, kMaxChannels);
  const auto source = [&](int ch) { return st.sam[ch / 2].TriggerEnable[ch % 2] != 0; };
  std::string text;
  std::vector<std::string> advices;
  int sources = 0;
  for (int ch = 0; ch < channels;) {
    if (!source(ch)) {
      ++ch;
      continue;
    }
    const std::string line = channel_line(st.sam, inputs, ch);
    int last = ch;
    while (last + 1 < channels && source(last + 1) &&
           channel_line(st.sam, inputs, last + 1) == line)
      ++last;
    const std::string name = last == ch ? printed("ch%d", ch) : printed("ch%d-%d", ch, last);
    text += printed("  %-8s ", name.c_str()) + line + "\n";
    for (int c = ch; c <= last; ++c) {
      const std::string a = advice(inputs[c]);
      if (!verdict(inputs[c], st.sam[c / 2].TriggerThreshold[c % 2]).empty() && !a.empty() &&
          std::find(advices.begin(), advices.end(), a) == advices.end())
        advices.push_back(a);
    }
    sources += last - ch + 1;
    ch = last + 1;
  }
  if (sources == 0) return "No channel is a trigger source.\n";
  text = "Trigger sources:\n" + text;
  for (const auto& a : advices) text += a;
  return text;
}

std::string logic_text(const Settings& st) {
  std::string pairs;
  const int blocks = board_blocks(st);
  for (int b = 0; b < blocks; ++b)
    if (st.sam[b].CoincidenceAND == 1) pairs += (pairs.empty() ? "" : ",") + std::to_string(b);
  std::string text;
  if (!pairs.empty())
    text += "SAM blocks " + pairs + " need both their channels at once (pair logic AND).\n";
  if (st.sys.OverallTriggerLogic == 1) text += "Every SAM block must fire at once (logic AND).\n";
  if (st.sys.OverallTriggerLogic == 2)
    text +=
        printed("At least %d SAM blocks must fire at once (majority).\n", st.sys.MajorityLevel + 1);
  return text;
}

}  // namespace

std::string No_TriggerExplanation(const Settings& st, const KnownInputs& inputs) {
  const double quiet = kNoTriggerSeconds;
  if (st.sys.TriggerSource == kSourceExternal) {
    return printed(
        "No event for %.0f s with the External trigger: events come only when the external "
        "trigger input (%s level%s) fires. Check its cable and level, or choose the Software, "
        "Normal or Auto trigger.\n",
        quiet, st.sys.ExternalTriggerType == 1 ? "NIM" : "TTL",
        st.sys.ExtTrigInAsGate == 1 ? ", used as a gate: it takes no event" : "");
  }
  return printed(
             "No event for %.0f s with the Normal trigger: events come only when a trigger "
             "source's signal crosses its threshold.\n",
             quiet) +
         sources_text(st, inputs) + logic_text(st);
}

std::optional<std::string> NoTriggerWatch::poll() {
  const int generation = st_.AcquisitionGeneration.load();
  const double now = st_.clock.now();
  if (generation != generation_) {
    generation_ = generation;
    since_ = now;
    told_ = false;
  }
  const int source = st_.sys.TriggerSource;
  const bool waits = st_.AcquisitionRunning.load() == 1 && !replaying(st_) &&
                     (source == kSourceNormal || source == kSourceExternal);
  if (!waits || told_ || st_.NbOfEventsInRun.load() != 0 || now - since_ < kNoTriggerSeconds)
    return std::nullopt;
  told_ = true;
  return No_TriggerExplanation(
      st_, st_.digitizer != nullptr ? st_.digitizer->Known_Inputs() : KnownInputs{});
}

}  // namespace vx
