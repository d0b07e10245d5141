// Settings pages, calibrations and the rate scan used during runs, round after round, with the tick
// twenty times faster than usual (under the sanitizers: where unguarded sharing shows). Each run
// goes on after each change; each calibration and scan ends, giving back records and window.

#include <QCheckBox>
#include <QTimer>

#include <array>

#include "gui_fixture.h"
#include "ui/calibration_menu.h"
#include "ui/panels/noise_panel.h"
#include "ui/panels/rate_panel.h"
#include "ui/panels/rate_scan_panel.h"

namespace vx::ui {
namespace {

// VELTRIX_STRESS_SECONDS lengthens (or shortens) the run; a round always completes.
double stress_seconds() {
  const char* text = std::getenv("VELTRIX_STRESS_SECONDS");
  const double s = text != nullptr ? std::atof(text) : 0.0;
  return s > 0.0 ? s : 8.0;
}

struct GuiStress : GuiTest {
  // One change of every kind the pages offer during a run: restarts, live switches, the
  // display's own settings.
  void change_settings(int round) {
    const bool odd = round % 2 == 1;
    widget<QDoubleSpinBox>("TRIGGER", "THRESHOLD")->setValue(odd ? -0.05 : -0.06);
    expect_run_goes_on("threshold");
    widget<QDoubleSpinBox>("VERTICAL", "OFFSET")->setValue(odd ? 0.1 : 0.0);
    expect_run_goes_on("offset");
    auto* frequency = widget<QComboBox>("HORIZONTAL", "FREQUENCY");
    choose(frequency, odd ? 1 : 0);
    expect_run_goes_on("frequency");
    widget<QSpinBox>("HORIZONTAL", "NBOFCOLSTOREAD")->setValue(odd ? 32 : 64);
    expect_run_goes_on("record length");
    widget<QSpinBox>("VERTICAL", "SCALE")->setValue(odd ? 200 : 500);
    main().fft_switch()->click();
    main().display_switch()->click();
    child<QSpinBox>(&main(), "MODULOEVENTS")->setValue(odd ? 3 : 1);
    child<QCheckBox>(main().noise_panel(), "ENABLENOISEMEAS")->click();
    child<QCheckBox>(main().rate_panel(), "ENABLERATEMEAS")->click();
    pump_for(150);
    expect_run_goes_on("display switches");
  }

  // What a calibration or a scan must give back: channel 0's threshold and offset (the pages edit
  // channel 0), the trigger source, record length and run type.
  using Kept = std::array<double, 5>;
  Kept kept() {
    return {VX_VALUE(st().sam[0].TriggerThreshold[0]), VX_VALUE(st().sam[0].DCOffset[0]),
            double(VX_VALUE(st().sys.TriggerSource)), double(VX_VALUE(st().sys.RecordLength)),
            double(VX_VALUE(st().acq.RunType))};
  }

  void calibrate_during_the_run() {
    const Kept before = kept();
    bool finished = false, ok = false;
    const auto c = QObject::connect(main().calibration_menu(), &CalibrationMenu::finished,
                                    [&](bool result) { finished = true, ok = result; });
    dialogs.prompt_answers.push_back(QString("4"));
    main().action(MenuAction::CalibratePedestals)->trigger();
    ASSERT_TRUE(wait_until([&] { return finished; }, 120000));
    QObject::disconnect(c);
    EXPECT_TRUE(ok) << infos().toStdString();
    ASSERT_TRUE(wait_until([&] { return main().isEnabled(); }, 5000));
    EXPECT_EQ(st().AcquisitionRunning.load(), 0) << "a calibration ends the run";
    EXPECT_EQ(kept(), before) << "pedestal calibration";
  }

  void scan_during_the_run() {
    Kept before = kept();
    before[1] = 0.0;  // the scan sets the offsets to 0 before it keeps the records
    RateScanPanel* panel = main().rate_scan_panel();
    main().action(MenuAction::RateVsThreshold)->trigger();
    child<QSpinBox>(panel, "NBOFSTEPSFORPLOT")->setValue(3);
    child<QDoubleSpinBox>(panel, "COUNTINGTIMEPERSTEP")->setValue(0.05);
    const int finished = st().rates.ScansFinished.load();
    child<QPushButton>(panel, "START_RUN")->click();
    ASSERT_TRUE(wait_until([&] { return st().rates.ScansFinished.load() != finished; }, 120000));
    ASSERT_TRUE(wait_until([&] { return main().isVisible() && main().isEnabled(); }, 5000));
    EXPECT_FALSE(RateScan_Result(st()).partial());
    EXPECT_EQ(kept(), before) << "rate scan";
  }
};

TEST_F(GuiStress, SettingsCalibrationsAndScansDuringRuns) {
  dialogs.confirm_answer = true;
  connect_board(1);
  app->timer().setInterval(50);
  choose(main().run_type(), 3);
  // Self-triggered on the simulated pulses, so that restarts meet a steady stream.
  auto* source = widget<QComboBox>("TRIGGER", "TRIGGERTYPE");
  choose(source, 2);

  QElapsedTimer clock;
  clock.start();
  int rounds = 0;
  do {
    SCOPED_TRACE(rounds);
    press_start();
    expect_run_goes_on("start");
    change_settings(rounds);
    calibrate_during_the_run();
    press_start();
    expect_run_goes_on("start");
    change_settings(rounds + 1);
    scan_during_the_run();
    ++rounds;
  } while (!HasFatalFailure() && clock.elapsed() < stress_seconds() * 1000.0);
  EXPECT_EQ(st().AcquisitionRunning.load(), 0);
}

}  // namespace
}  // namespace vx::ui
