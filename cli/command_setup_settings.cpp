#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/edge_timing.h"
#include "cli/commands.h"
#include "digitizer/board_configuration.h"
#include "files/quoted_text.h"
#include "files/setup_file.h"
#include "platform/digitizer.h"

namespace vx::cli {

namespace {

const char* const kSources[] = {"Software", "Normal", "Auto", "External"};
const char* const kLogic[] = {"OR", "AND", "majority"};

struct SetupImages {
  std::string version;
  BoardParams board{};
  SystemParams sys{};
  AcqParams acq{};
  std::array<SAMBlockParams, kMaxSamBlocks> sam{};
  GuiParams gui{};
};

std::string take_line(std::string_view& in) {
  const std::size_t lf = in.find('\n');
  const std::size_t n = lf == std::string_view::npos ? in.size() : lf + 1;
  std::string line(in.substr(0, n));
  in.remove_prefix(n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

template <typename Rec>
bool take(Rec& rec, std::string_view& in) {
  if (in.size() < sizeof rec) return false;
  std::memcpy(&rec, in.data(), sizeof rec);
  in.remove_prefix(sizeof rec);
  return true;
}

// The records of a setup file; error says why a file is refused.
std::optional<SetupImages> read_setup(const std::string& path, std::string& error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    error = "cannot be opened";
    return std::nullopt;
  }
  const std::string raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const std::string bytes = from_text_mode(raw);
  std::string_view in = bytes;
  SetupImages s;
  if (take_line(in) + "\n" != kSetupFileFirstLine) {
    error = "is not a setup file";
    return std::nullopt;
  }
  s.version = take_line(in);
  if (!take(s.board, in) || !take(s.sys, in) || !take(s.acq, in)) {
    error = "is incomplete";
    return std::nullopt;
  }
  if (s.sys.NbOfSAMBlocks < 1 || s.sys.NbOfSAMBlocks > kMaxSamBlocks) {
    error = "holds " + std::to_string(s.sys.NbOfSAMBlocks) + " SAM blocks";
    return std::nullopt;
  }
  for (int b = 0; b < s.sys.NbOfSAMBlocks; ++b)
    if (!take(s.sam[b], in)) {
      error = "is incomplete";
      return std::nullopt;
    }
  if (!take(s.gui, in)) {
    error = "is incomplete";
    return std::nullopt;
  }
  return s;
}

const char* pick(const char* const* names, int count, int index) {
  return index >= 0 && index < count ? names[index] : "?";
}

void print_setup(const std::string& path, const SetupImages& s) {
  const SystemParams& y = s.sys;
  const SAMBlockParams& b0 = s.sam[0];
  const int channels = std::clamp(y.NbOfChannels, 0, 2 * y.NbOfSAMBlocks);
  const auto* model = reinterpret_cast<const char*>(s.board.BoardInfo);
  // The file's own text is shown escaped; its numbers in a type that holds whatever the
  // file says (nothing has checked them: no board is connected).
  std::printf("Setup file %s (software %s)\n", path.c_str(), Escaped_FileText(s.version).c_str());
  std::printf("  board            %s, %d SAM blocks, %d channels\n",
              Escaped_FileText(std::string_view(model, strnlen(model, 16))).c_str(),
              y.NbOfSAMBlocks, channels);
  std::printf("  sampling         %d MS/s, depth %d samples (%d x 16), post-trigger %d\n",
              frequency_from_index(b0.FrequencyIndex), b0.RecordLength16 * 16, b0.RecordLength16,
              static_cast<int>(b0.PostTrigger) - 1);
  std::printf("  trigger          %s, overall logic %s, majority %lld, gate %lld ns\n",
              pick(kSources, 4, y.TriggerSource), pick(kLogic, 3, y.OverallTriggerLogic),
              static_cast<long long>(y.MajorityLevel) + 1,
              static_cast<long long>(y.PrimitivesGateLength) * 5);
  std::printf("  external input   %s%s\n", y.ExternalTriggerType == 1 ? "NIM" : "TTL",
              y.ExtTrigInAsGate == 1 ? ", used as a gate" : "");
  const AcqParams& a = s.acq;
  if (a.CFDMethod == 1) {
    std::printf("  timing           constant fraction %.2f, baseline %d samples; %s edge timing\n",
                static_cast<double>(a.CFDRatio), a.NbOfBinsForBaseline,
                EdgeTiming_Name(EdgeTiming_Of(a.TimeMeasSpareOption)));
  } else {
    std::printf("  timing           fixed threshold (per channel); %s edge timing\n",
                EdgeTiming_Name(EdgeTiming_Of(a.TimeMeasSpareOption)));
  }
  std::printf("  channel  shown  trigger  edge     threshold (V)  offset (V)  pair\n");
  for (int ch = 0; ch < channels; ++ch) {
    const SAMBlockParams& blk = s.sam[ch / 2];
    const int c = ch % 2;
    std::printf("  %7d  %-5s  %-7s  %-7s  %+13.3f  %+10.3f  %s\n", ch,
                s.gui.ChannelEnabled[ch] != 0 ? "on" : "off",
                blk.TriggerEnable[c] != 0 ? "source" : "-",
                blk.TriggerPolarity[c] == kPolarityFallingEdge ? "falling" : "rising",
                static_cast<double>(blk.TriggerThreshold[c]), static_cast<double>(blk.DCOffset[c]),
                blk.CoincidenceAND == 1 ? "AND" : "OR");
  }
}

}  // namespace

int command_setup_save_with(Session& session, const std::string& file, const RunOptions& options) {
  // Connecting again would load the defaults over the settings: one connection here.
  if (!session.connect()) return 1;
  if (!apply_run_options(session, options)) return 2;
  session.ui().file_answer = std::filesystem::absolute(file);
  return Save_SetupInFile(session.state(), session.state()) == 1 ? 0 : 1;
}

int command_setup_show(const std::string& file) {
  std::string error;
  const auto setup = read_setup(file, error);
  if (!setup) {
    std::fprintf(stderr, "Setup file '%s' %s.\n", file.c_str(), error.c_str());
    return 1;
  }
  print_setup(file, *setup);
  return 0;
}

}  // namespace vx::cli
