// The three calibrations against the simulated unit's true imperfections: the tests read
// the truth from the simulator, the calibrations never do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "acquisition/run_control.h"
#include "support/packed_value.h"

#include "app/dac_conversions.h"
#include "calibration/calibration_pass.h"
#include "calibration/pedestal_calibration.h"
#include "calibration/sam_dac_calibration.h"
#include "calibration/stored_calibrations.h"
#include "calibration/trigger_dac_calibration.h"
#include "digitizer/board_configuration.h"
#include "digitizer/board_connection.h"
#include "digitizer/dacs.h"
#include "eeprom/calibration_tables.h"
#include "support/baseline.h"
#include "support/cli_process.h"
#include "support/sim_core.h"
#include "wiring/core_wiring.h"

namespace vx {
namespace {

using test::SimCore;

constexpr double kCountsPerMv = 1e-3 / kVoltsPerAdcCount;

sim::SimConfig quiet_inputs(double external_rate_hz = 0.0) {
  sim::SimConfig c;
  for (auto& ch : c.channel) ch.input = sim::InputKind::kNone;
  c.external_rate_hz = external_rate_hz;
  c.dead_time_us = 1.0;  // external triggers pile up while an event is processed
  return c;
}

struct Calibrated {
  explicit Calibrated(sim::SimConfig config = quiet_inputs(), int blt = 1,
                      std::shared_ptr<Clock> board_clock = nullptr)
      : sim("DT5743", std::move(config), std::move(board_clock)) {
    sim.connect();
    Set_MaxNumEventsBLT(st, blt);
  }
  int channels() const { return 2 * sim.st.sys.NbOfSAMBlocks; }
  double noise_counts(int ch) const {
    return sim.board->config().channel[ch].noise_mv * kCountsPerMv;
  }

  SimCore sim;
  State& st = sim.st;
};

// How far the measured table lies from the unit's true cell levels, in units of the
// statistical error of an n-event average (the noise with the ADC's rounding): the worst cell
// and the RMS over all cells.
struct CellErrors {
  double worst = 0.0;
  double rms = 0.0;
};
CellErrors cell_errors(Calibrated& c, int n) {
  CellErrors e;
  double sum2 = 0.0;
  for (int ch = 0; ch < c.channels(); ++ch) {
    const auto truth = c.sim.board->cell_levels(ch);
    const auto& measured = c.st.calib.IndividualOffsetDistribution[ch / 2][ch % 2];
    const double noise = std::hypot(c.noise_counts(ch), std::sqrt(1.0 / 12.0));
    const double sigma = noise / std::sqrt(static_cast<double>(n));
    for (int p = 0; p < kMaxSamples; ++p) {
      const double z = (measured[p] - truth[p]) / sigma;
      e.worst = std::max(e.worst, std::fabs(z));
      sum2 += z * z;
    }
  }
  e.rms = std::sqrt(sum2 / (c.channels() * kMaxSamples));
  return e;
}

// Over 8192 cells a perfect average exceeds 4 sigma somewhere about every other time; 5 sigma
// on the worst cell and an RMS of one sigma catch a wrong divisor, a shifted cell order or a
// bias of a tenth of a count.
void expect_statistical(const CellErrors& e) {
  EXPECT_LE(e.worst, 5.0);
  EXPECT_NEAR(e.rms, 1.0, 0.1);
}

// Every block's depth in columns of 16 cells and channel 0's DC offset, on the board too.
void set_depth_and_offset(State& st, int columns, float offset) {
  for (auto& k : st.sam) k.RecordLength16 = static_cast<std::uint16_t>(columns);
  Load_HardwareSetup(st, 19, -1);
  st.sam[0].DCOffset[0] = offset;
  Load_DACs(st, 2, -1);
}

// Switches every channel from `first` on off, on the board too.
void switch_off_from(State& st, int first) {
  for (int ch = first; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 0;
  Set_EnabledSAMBlocks(st);
}

// The table is the cells' own level at 0 V offset, what the library subtracts from the samples,
// whatever the depth and offset set. Zero events still takes the first readout; several events
// per readout all count and the average divides by how many there really were. Channels
// switched off are measured all the same; the records come back as the user left them.
TEST(PedestalCalibration, MatchesTheTrueCellLevelsOverTheEventsActuallyRead) {
  struct Case {
    int requested, blt;
    double external_rate_hz;
    int first_off, columns;
    float offset;
  };
  for (const Case& k :
       {Case{200, 1, 0.0, kMaxChannels, 16, 0.5f}, Case{0, 1, 0.0, kMaxChannels, 64, 0.0f},
        Case{12, 8, 200000.0, kMaxChannels, 64, 0.0f}, Case{30, 1, 0.0, 2, 64, 0.0f}}) {
    SCOPED_TRACE(k.requested);
    Calibrated c(quiet_inputs(k.external_rate_hz), k.blt);
    c.st.gui.GraphMode = 0;
    switch_off_from(c.st, k.first_off);
    set_depth_and_offset(c.st, k.columns, k.offset);
    c.st.calib.NbOfRunsForPedestalCalibration = k.requested;
    ASSERT_TRUE(Calibrate_Matrice(c.st, -1));
    const int n = c.st.EventNumber.load();
    EXPECT_GT(n, k.requested);  // the last readout went past the count asked
    if (k.blt == 1) {
      EXPECT_EQ(n, k.requested + 1);  // ends as soon as more were taken
    }
    EXPECT_EQ(VX_VALUE(c.st.sam[3].RecordLength16), k.columns);
    EXPECT_EQ(VX_VALUE(c.st.sam[0].DCOffset[0]), k.offset);
    EXPECT_EQ(VX_VALUE(c.st.gui.GraphMode), 0);
    for (int ch = 0; ch < kMaxChannels; ++ch)
      EXPECT_EQ(c.st.gui.ChannelEnabled[ch], ch < k.first_off ? 1 : 0) << "channel " << ch;
    EXPECT_EQ(c.sim.core.ui.progress_values().back(), 100);
    // Raw samples while measuring, the configured corrections afterwards.
    const auto levels = c.sim.calls_named("SetSAMCorrectionLevel");
    EXPECT_NE(std::find_if(levels.begin(), levels.end(), [](auto& r) { return r.args.at(1) == 0; }),
              levels.end());
    EXPECT_NE(levels.back().args.at(1), 0);
    set_depth_and_offset(c.st, 64, 0.0f);
    expect_statistical(cell_errors(c, n));
  }
}

// A unit whose memories live in a given user directory, as a new process would open it.
struct UnitOnDisk {
  UnitOnDisk(const std::filesystem::path& dir, std::uint32_t board_id) {
    sim::SimConfig config = quiet_inputs();
    config.model = "DT5743";
    config.board_id = board_id;
    board = std::make_unique<sim::SimulatedBoard>(config, dir);
    st.digitizer = board.get();
    Install_CoreHooks(st);
    st.board.LinkType = 0;
    Sam_Init(st);
  }
  ~UnitOnDisk() {
    core.pool.wait_idle();
    Close_Device(st);
    st.digitizer = nullptr;
  }
  test::TestCore core;
  State& st = core.state;
  std::unique_ptr<sim::SimulatedBoard> board;
};

// The unit carries another unit's factory pedestals: its runs show the cells' spread, until
// a calibration saved to its memories puts every channel back at 0.
TEST(PedestalCalibration, AStaleTableIsRepairedThroughTheCommandLine) {
  const test::CliHome home("dt5743", "input = none\nexternal_rate_hz = 0\n");
  { UnitOnDisk other(home.path(), 2); }
  for (int d = 0; d < 2; ++d) {
    const auto dir = home.path() / "SimBoard";
    std::filesystem::copy_file(dir / ("eeprom_DT5743_2_" + std::to_string(d) + ".bin"),
                               dir / ("eeprom_DT5743_1_" + std::to_string(d) + ".bin"),
                               std::filesystem::copy_options::overwrite_existing);
  }
  {
    UnitOnDisk unit(home.path(), 1);
    for (double rms : test::baseline_rms(unit.st, 10)) EXPECT_GT(rms, 3.0);
  }
  ASSERT_EQ(home.run("calibrate pedestals 500 --save-to-flash").rc, 0);
  UnitOnDisk unit(home.path(), 1);
  for (double rms : test::baseline_rms(unit.st, 20))
    EXPECT_LT(rms, 1.2 * test::noise_alone_counts(0.5));
}

// The tables in use belong together: SAM DAC codes, then pedestals measured with them and
// saved, give the noise alone at once and after the next process connects.
TEST(StoredCalibrations, SamDacsThenPedestalsSavedGiveTheNoiseAloneAfterReconnecting) {
  test::TempDir home;
  const double noise = test::noise_alone_counts(0.5);
  const char* mismatch = "pedestal table in use was measured with other SAM DAC Offsets";
  {
    UnitOnDisk unit(home.path(), 1);
    ASSERT_TRUE(Calibrate_SAMDACsOffset(unit.st));
    // The factory's pedestals were measured with the line DACs off: they no longer fit.
    EXPECT_TRUE(unit.core.ui.has_message(MessageTab::Warnings, mismatch));
    for (double rms : test::baseline_rms(unit.st, 5)) EXPECT_GT(rms, 3 * noise);
    unit.st.calib.NbOfRunsForPedestalCalibration = 300;
    ASSERT_TRUE(Calibrate_Matrice(unit.st, -1));
    ASSERT_TRUE(Save_PedestalsToFlash(unit.st, unit.st,
                                      unit.st.log));  // the library takes the new table at once
    for (double rms : test::baseline_rms(unit.st, 5)) EXPECT_LT(rms, 1.2 * noise);
  }
  {
    UnitOnDisk again(home.path(), 1);
    EXPECT_TRUE(again.core.ui.has_message(MessageTab::Infos, "SAM DAC Offsets loaded from EEPROM"));
    EXPECT_FALSE(again.core.ui.has_message(MessageTab::Warnings, mismatch));
    for (double rms : test::baseline_rms(again.st, 5)) EXPECT_LT(rms, 1.2 * noise);
    // Other codes stored on their own no longer fit the stored pedestals: said at once, and
    // at the next connection.
    again.st.sam[0].SamDacOffsetCh0[3] ^= 0x08;
    ASSERT_EQ(Save_SAMDACsOffsets_To_EEPROM(again.st, again.st, again.st.log), 0);
    EXPECT_TRUE(again.core.ui.has_message(MessageTab::Warnings,
                                          "Daughter Board [0]'s stored pedestal table was "
                                          "measured with other SAM DAC Offsets"));
  }
  UnitOnDisk later(home.path(), 1);
  EXPECT_TRUE(later.core.ui.has_message(MessageTab::Warnings,
                                        "Daughter Board [0]'s " + std::string(mismatch)));
  EXPECT_FALSE(later.core.ui.has_message(MessageTab::Warnings, "Daughter Board [1]"));
}

TEST(PedestalCalibration, EventCountEntry) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"200", 200},  {" 12 ", 12}, {"0", 0},    {"+7", 7},         {"-5", std::nullopt},
      {"12abc", {}}, {"", {}},     {"abc", {}}, {"123456789", {}}, {"99999999", 99999999}};
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(parse_pedestal_event_count(text), expected) << '"' << text << '"';
}

TEST(PedestalCalibration, PhysicalCellOrdering) {
  test::TestCore core;
  State& st = core.state;
  st.acq.SelectedLine = 3;
  for (int k = 0; k < kMaxSamples; ++k)
    st.event.FullyOrderedValues[0][0][k] = static_cast<float>(k);
  st.event.EventFCR[0] = 1000;  // the record starts at cell 992 and wraps after 32 samples
  Build_PhysicallyOrderedValues(st, 0);
  // Cells 3 and 995 hold samples 35 and 3; the pedestal tables check the whole order.
  EXPECT_EQ(st.calib.ModuloValues[0][0][0], 35.0f);
  EXPECT_EQ(st.calib.ModuloValues[0][0][62], 3.0f);
}

TEST(SamDacCalibration, LineSearch) {
  // Means that never come within 2048 counts keep code 0.
  LineSearch never;
  for (int code = 0; code < 128; ++code) never.offer(code, 0.0f);
  EXPECT_EQ(never.best_code, 0);
  // Equal distances: the lowest code stays. Values: 0..63 -> 0..-63, 64..127 -> 0..+63.
  LineSearch tie;
  tie.offer(10, 2050.0f);
  tie.offer(70, 2046.0f);
  EXPECT_EQ(tie.best_code, 10);
  EXPECT_EQ(tie.best_value, -10);
  tie.offer(90, 2048.5f);
  EXPECT_EQ(tie.best_value, 26);
  EXPECT_FLOAT_EQ(tie.best_distance, 0.5f);
  for (const auto& [code, value] : {std::pair{0, 0}, {63, -63}, {64, 0}, {127, 63}})
    EXPECT_EQ(sam_dac_signed_value(code), value) << "code " << code;  // both ends of each half
}

// Every line's mean lands within a count of mid-scale, also when readouts bring more events
// than the ten asked for at each code, at a reduced recording depth, and on the channels the
// user had switched off.
TEST(SamDacCalibration, BringsEveryLineToMidScale) {
  for (const int blt : {1, 6}) {
    SCOPED_TRACE(blt);
    Calibrated c(quiet_inputs(blt > 1 ? 200000.0 : 0.0), blt);
    const int columns = blt > 1 ? 16 : 64;
    switch_off_from(c.st, blt > 1 ? kMaxChannels : 2);
    set_depth_and_offset(c.st, columns, 0.3f);
    ASSERT_TRUE(Calibrate_SAMDACsOffset(c.st));
    EXPECT_TRUE(c.st.calib.SamDACOffsetDone);
    EXPECT_EQ(VX_VALUE(c.st.sam[0].DCOffset[0]), 0.3f);  // restored
    EXPECT_EQ(VX_VALUE(c.st.sam[1].RecordLength16), columns);
    // The unit's levels with the codes and the 0 V offset of the calibration.
    set_depth_and_offset(c.st, 64, 0.0f);
    for (int ch = 0; ch < c.channels(); ++ch) {
      const auto levels = c.sim.board->cell_levels(ch);
      for (int line = 0; line < 16; ++line) {
        double sum = 0.0;
        for (int p = line; p < kMaxSamples; p += 16) sum += levels[p];
        EXPECT_NEAR(sum / 64.0, 2048.0, 1.0) << "channel " << ch << " line " << line;
      }
    }
    EXPECT_EQ(c.sim.core.ui.progress_values().back(), 100);
  }
}

TEST(TriggerDacCalibration, HitWindow) {
  const double step = 0.1 / 399.0;
  HitWindow band;
  for (int k = 150; k <= 250; ++k) band.hit(k);
  EXPECT_NEAR(band.mean_threshold() * 1000.0, 0.12531, 1e-4);
  HitWindow none;
  EXPECT_FALSE(none.found());
  EXPECT_NEAR(none.mean_threshold(), step * 200 - 0.05, 1e-7);
}

// The offsets compensate the discriminators' true offsets to within a scan step, and the
// thresholds reloaded after the calibration include them.
TEST(TriggerDacCalibration, FindsEveryDiscriminatorOffset) {
  // On the board's own clock the counters count for the bus time of the register accesses
  // between the start and the read, whatever the load of the machine running the test.
  Calibrated c(quiet_inputs(), 1, std::make_shared<test::FakeClock>());
  c.st.sam[1].TriggerThreshold[1] = 0.02f;
  ASSERT_TRUE(Calibrate_TriggerThresholdDACsOffset(c.st));
  EXPECT_TRUE(c.st.calib.TriggerDACsOffsetDone);
  const auto& truth = c.sim.board->imperfections().discriminator_offset_v;
  for (int ch = 0; ch < c.channels(); ++ch) {
    // The discriminator switches at DAC + offset: the DAC must be set offset lower.
    EXPECT_NEAR(c.st.calib.MeanThreshold[ch / 2][ch % 2], -truth[ch], kThresholdScanStep)
        << "channel " << ch;
  }
  EXPECT_EQ(VX_VALUE(c.st.sam[1].TriggerThreshold[1]), 0.02f);
  std::optional<std::int64_t> last_ch3;
  for (const auto& r : c.sim.calls_named("SetChannelTriggerThreshold"))
    if (r.args.at(1) == 3) last_ch3 = r.args.at(2);
  EXPECT_EQ(last_ch3, Calculate_ThresholdDACIntValues(0.02f + c.st.calib.MeanThreshold[1][1]));
  EXPECT_EQ(c.sim.calls_named("TriggerThreshold").back().args.at(1), 1);

  // Stored offsets are not used by a connection; loading the calibrations puts them in use.
  const float offset = c.st.calib.MeanThreshold[1][1];
  ASSERT_EQ(Save_TriggerThresholdDACs_To_EEPROM(c.st, c.st, c.st.log), 0);
  Close_Device(c.st);
  c.sim.connect();
  // The connection starts from zero offsets: there is nothing measured to store.
  EXPECT_EQ(Save_TriggerThresholdDACs_To_EEPROM(c.st, c.st, c.st.log), -1);
  EXPECT_EQ(c.sim.board->threshold_dac(3), Calculate_ThresholdDACIntValues(0.02f));
  ASSERT_EQ(Load_Calibrations_And_Reload(c.st, -1), 0);
  EXPECT_NEAR(c.st.calib.MeanThreshold[1][1], offset, 1e-4);
  EXPECT_EQ(c.sim.board->threshold_dac(3),
            Calculate_ThresholdDACIntValues(0.02f + c.st.calib.MeanThreshold[1][1]));
}

// A board that stops delivering, a bad event, a failed register access, a cancel (information
// only), pulses at the inputs of the trigger DACs: the calibration fails, says why, and keeps
// the previous pedestals, offsets, codes and records.
TEST(Calibrations, AFailureOrASignalKeepsThePreviousValues) {
  enum Kind { kPedestals, kTriggerDacs, kSamDacs };
  struct Case {
    const char* name;
    Kind kind;
    std::optional<std::uint64_t> stop_after, undecodable;
    bool register_fault, pulses;
    int cancel_at;
    const char* error;  // nullptr: a cancel, no error at all
  };
  const char* pedestal_error = "ERROR during Pedestal Calibration.";
  const char* communication = "a communication error";
  const char* signal = "a signal is present at its input";
  const Case cases[] = {
      {"pedestals, board goes silent", kPedestals, 5, {}, false, false, -1, pedestal_error},
      {"pedestals, corrupt event", kPedestals, {}, 4, false, false, -1, pedestal_error},
      {"pedestals, communication error", kPedestals, {}, {}, true, false, -1, pedestal_error},
      {"pedestals cancelled", kPedestals, {}, {}, false, false, 20, nullptr},
      {"trigger DACs cancelled", kTriggerDacs, {}, {}, false, false, 30, nullptr},
      {"trigger DACs, communication error", kTriggerDacs, {}, {}, true, false, -1, communication},
      {"trigger DACs with pulses", kTriggerDacs, {}, {}, false, true, -1, signal},
      {"SAM DACs cancelled", kSamDacs, {}, {}, false, false, 30, nullptr},
      {"SAM DACs, communication error", kSamDacs, {}, {}, true, false, -1, communication},
  };
  const std::uint64_t first_access =
      test::register_accesses_of_a_connection("DT5743", quiet_inputs()) + 1;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    sim::SimConfig config = k.pulses ? sim::SimConfig{} : quiet_inputs();
    config.fault.stop_after_events = k.stop_after;
    config.fault.undecodable_event = k.undecodable;
    if (k.register_fault) config.fault.fail_register_access = first_access;
    // The hit counters count for the bus time of the accesses, whatever the machine's load.
    Calibrated c(
        config, 1,
        k.kind == kTriggerDacs ? std::make_shared<test::FakeClock>() : std::shared_ptr<Clock>());
    for (auto& block : c.st.calib.IndividualOffsetDistribution)
      for (auto& table : block) table.fill(1234.5f);
    c.st.calib.MeanThreshold[0][0] = 0.004f;
    c.st.sam[1].SamDacOffsetCh1[3] = 77;
    c.st.sys.TriggerSource = 3;
    c.st.calib.NbOfRunsForPedestalCalibration = 50;
    c.sim.core.ui.cancel_progress_at = k.cancel_at;
    c.sim.core.ui.clear();
    const bool done = k.kind == kPedestals     ? Calibrate_Matrice(c.st, -1)
                      : k.kind == kTriggerDacs ? Calibrate_TriggerThresholdDACsOffset(c.st)
                                               : Calibrate_SAMDACsOffset(c.st);
    EXPECT_FALSE(done);
    EXPECT_EQ(c.st.calib.IndividualOffsetDistribution[0][1][17], 1234.5f);
    EXPECT_EQ(c.st.calib.MeanThreshold[0][0], 0.004f);
    EXPECT_EQ(VX_VALUE(c.st.sam[1].SamDacOffsetCh1[3]), 77);
    EXPECT_EQ(VX_VALUE(c.st.sys.TriggerSource), 3);
    EXPECT_FALSE(c.st.calib.TriggerDACsOffsetDone);
    EXPECT_FALSE(c.st.calib.SamDACOffsetDone);
    EXPECT_FALSE(c.st.calib.PedestalMeasurement);
    EXPECT_FALSE(c.st.calib.CalibrationRunning.load());
    if (k.error == nullptr) {
      EXPECT_TRUE(c.sim.core.ui.tab_texts(MessageTab::Errors).empty());
      EXPECT_TRUE(c.sim.core.ui.has_message(MessageTab::Infos, "cancelled by user"));
    } else {
      EXPECT_TRUE(c.sim.core.ui.has_message(MessageTab::Errors, k.error));
    }
  }
}

}  // namespace
}  // namespace vx
