// veltrix-cli calibrate inl [--events N] [--save-to-flash] and veltrix-cli inl load
// [--save-to-flash]: the time non-linearity calibration from the board's sine input, and the
// INL files back into the tables and, when asked, onto the EEPROMs the board corrects with.
#include <algorithm>
#include <cstdio>
#include <string>

#include "acquisition/run_control.h"
#include "calibration/inl_calibration.h"
#include "cli/commands.h"
#include "cli/option_checks.h"
#include "digitizer/board_configuration.h"
#include "eeprom/calibration_tables.h"
#include "files/inl_file.h"
#include "platform/numeric.h"

namespace vx::cli {

namespace {

// A cell's width is measured from the rising crossings of the sine that fall in it. The sine
// crosses once per 16-cell period, at a phase the sampling clock does not hold, so a given
// cell is crossed in one event out of 16: with N events, each of the 1024 cells is missed with
// probability (15/16)^N, and one missed cell leaves the table without a value there. From 200
// events on, 1024 x (15/16)^200 puts the chance of any miss below 1 in 300; fewer events
// leave holes in the table rather than a table.
constexpr int kMinInlEvents = 200;

bool enabled(const Settings& st, int b, int c) {
  return st.gui.ChannelEnabled[kChannelsPerBlock * b + c] == 1;
}

void print_inl_results(const Settings& st, const BoardLink& link) {
  for (int b = 0; b < board_blocks(st); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!enabled(st, b, c)) continue;
      const auto& k = link.inl.at(b, c);
      const MeanAndSigma dnl = StdDev(std::span<const double>(k.GlobalTimeDNL));
      const MeanAndSigma inl = StdDev(std::span<const double>(k.ResidualSegments));
      std::printf("ch%-2d  global DNL %8.3f ps rms   global INL %8.3f ps rms\n",
                  kChannelsPerBlock * b + c, dnl.sigma, inl.sigma);
    }
}

// Both identity fields are stored with the tables: checked before anything is driven.
bool identity_given(const InlOptions& o) {
  if (!o.save_to_flash || (!o.location.empty() && !o.responsible.empty())) return true;
  std::fprintf(stderr,
               "--save-to-flash stores where and by whom the calibration was made: give both "
               "--location and --responsible.\n");
  return false;
}

int calibrate_inl(Session& session, const InlOptions& o) {
  // Checked before the board is driven for minutes: an empty field would write nothing.
  if (!identity_given(o)) return 2;
  if (!session.connect()) return 1;
  State& st = session.state();
  const int errors_before = session.ui().errors_seen.load();
  const int communication_errors_before = st.NbOfCommunicatonErrors.load();
  Enable_INLCalibration(st, true);
  Set_RunType(st, st, kRunFiniteEvents, o.events);
  const int generation = st.AcquisitionGeneration.load();
  if (Start_AcquisitionFromUser(st) != kDone) return 1;
  int last_percent = -1;
  session.run_until(
      [&] {
        return st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0;
      },
      [&] {
        const int percent = static_cast<int>(100LL * st.EventNumber.load() / std::max(1, o.events));
        if (percent / 10 != last_percent / 10) {
          std::fprintf(stderr, "INL calibration: %d %% of %d events\n", percent, o.events);
          last_percent = percent;
        }
      });
  Enable_INLCalibration(st, false);
  if (Session::interrupted() || !st.inl.computed) {
    std::fprintf(stderr, "INL calibration interrupted: nothing saved.\n");
    return 1;
  }
  // Any error during the run (communication, an undecodable event, a board that fell
  // silent before the last event) or a result that is not the sine's: nothing is written.
  if (session.ui().errors_seen.load() != errors_before ||
      st.NbOfCommunicatonErrors.load() != communication_errors_before ||
      st.inl.events_accumulated < o.events || !st.inl.usable) {
    std::fprintf(stderr,
                 "INL calibration failed after %d of %d events: nothing saved (see the errors "
                 "above).\n",
                 st.inl.events_accumulated, o.events);
    return 1;
  }
  print_inl_results(st, st);
  int failures = 0;
  for (int b = 0; b < board_blocks(st); ++b) {
    if (!Save_INL_In_Array(st, st, st.log, b)) return 1;
    for (int c = 0; c < kChannelsPerBlock; ++c)
      if (enabled(st, b, c) && Save_INL_In_File(st, b, c) != 1) ++failures;
  }
  if (o.save_to_flash && Save_INL_Values_To_EEPROM(st, -1, o.location, o.responsible) != 0)
    ++failures;
  return failures > 0 ? 1 : 0;
}

int load_inl(Session& session, const InlOptions& o) {
  if (!identity_given(o)) return 2;
  if (!session.connect()) return 1;
  State& st = session.state();
  int refused = 0;
  for (int b = 0; b < board_blocks(st); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!enabled(st, b, c)) continue;
      const bool read = Veltrix_Read_INL_From_File(st, b, c) == 1;
      std::printf("%s  %s\n", read ? "read   " : "refused",
                  Inl_FilePath(st, st, b, c).string().c_str());
      refused += read ? 0 : 1;
    }
  }
  if (refused > 0) {
    if (o.save_to_flash) std::fprintf(stderr, "A file was refused: nothing stored.\n");
    return 1;
  }
  // Every file of a daughter board, or none of its tables, goes onto its EEPROM: the board
  // then corrects with them from its next connection on (--load-calibration, or the desktop).
  if (o.save_to_flash &&
      Save_INL_Files_To_EEPROM(st, -1, o.location, o.responsible, Veltrix_Read_INL_From_File) != 0)
    return 1;
  st.acq.INLCorrectionEnabled = 1;
  Set_SAMCorrectionLevel(st, st);
  return 0;
}

}  // namespace

std::shared_ptr<InlOptions> add_inl_commands(CLI::App& app) {
  auto o = std::make_shared<InlOptions>();
  CLI::App* calibrate = nullptr;
  try {
    calibrate = app.get_subcommand("calibrate");
  } catch (const CLI::Error&) {
    calibrate = nullptr;
  }
  if (calibrate == nullptr) {
    calibrate = app.add_subcommand("calibrate", "Calibrate the board");
    calibrate->require_subcommand(1);
  }
  o->calibrate = calibrate->add_subcommand(
      "inl", "Time non-linearity calibration from the sine input; writes the INL files");
  o->calibrate->add_option("--events", o->events, "Events accumulated")
      ->capture_default_str()
      ->check(whole_number(kMinInlEvents, 10000000, "--events 20000"));
  o->calibrate->add_flag("--save-to-flash", o->save_to_flash,
                         "Also store the tables on the daughter boards' EEPROMs");
  o->calibrate
      ->add_option("--location", o->location,
                   "Calibration place stored with --save-to-flash (required with it)")
      ->check([](const std::string& s) { return s.size() <= 15 ? "" : "at most 15 characters"; });
  o->calibrate
      ->add_option("--responsible", o->responsible,
                   "Person stored with --save-to-flash (required with it)")
      ->check([](const std::string& s) { return s.size() <= 15 ? "" : "at most 15 characters"; });
  auto* inl =
      app.add_subcommand("inl", "INL correction files: check them, or store them on the EEPROMs");
  inl->require_subcommand(1);
  o->load = inl->add_subcommand(
      "load",
      "Check that every enabled channel's INL file reads back into the tables; with "
      "--save-to-flash, store each daughter board's files on its EEPROM (all of a board's "
      "files or none), where the board corrects with them from its next connection on");
  o->load->add_flag("--save-to-flash", o->save_to_flash,
                    "Store the files' tables on the daughter boards' EEPROMs");
  o->load->add_option("--location", o->location, "Calibration place stored (required with it)")
      ->check([](const std::string& s) { return s.size() <= 15 ? "" : "at most 15 characters"; });
  o->load->add_option("--responsible", o->responsible, "Person stored (required with it)")
      ->check([](const std::string& s) { return s.size() <= 15 ? "" : "at most 15 characters"; });
  return o;
}

int command_inl(Session& session, const InlOptions& options) {
  if (options.calibrate != nullptr && *options.calibrate) return calibrate_inl(session, options);
  if (options.load != nullptr && *options.load) return load_inl(session, options);
  return 0;
}

}  // namespace vx::cli
