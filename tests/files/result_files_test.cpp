#include <gtest/gtest.h>

#include <algorithm>

#include "files/result_files.h"
#include "support/file_text.h"
#include "support/test_state.h"

namespace vx {
namespace {

using test::read_file;

TEST(ResultFilesTest, RateFileHasOneLineOfIntegersPerChannel) {
  test::TestCore core;
  State& st = core.state;
  st.sys.NbOfChannels = 16;
  {
    RateScanResult& r = st.rates.result;
    r.steps = r.measured = 5;
    r.channels = 16;
    for (int ch = 0; ch < 16; ++ch) {
      r.ThresholdValuesForPlot[ch] = {-0.02, -0.01, 0.0, 0.01, 0.02};
      r.RateValuesForPlot[ch] = {12.9, 0.0, 1e6 + 0.99, 7.0, ch * 1.5};
    }
  }
  st.gui.RateVsThresholdChannel = -1;
  const std::string all = RateVsThreshold_Text(st, st);
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 35);
  EXPECT_EQ(all.substr(0, all.find("== Y AXIS : RATE VALUES [HZ] FOR CHANNEL : 1 ==")),
            "== RATE VS THRESHOLD WITH NB OF ELEMENTS : 5 ==\n"
            "== X AXIS: THRESHOLD VALUES [VOLTS] ==\n"
            "-0.0200 -0.0100 0.0000 0.0100 0.0200 \n"
            "== Y AXIS : RATE VALUES [HZ] FOR CHANNEL : 0 ==\n"
            "12 0 1000000 7 0 \n");
  EXPECT_NE(all.find("FOR CHANNEL : 15 ==\n12 0 1000000 7 22 \n"), std::string::npos);
}

TEST(ResultFilesTest, HistogramFilesLayOutEveryValue) {
  test::TestCore core;
  State& st = core.state;
  st.sys.NbOfChannels = 4;
  st.gui.ChannelEnabled[1] = st.gui.ChannelEnabled[2] = 1;
  st.gui.ChargeHistoNbOfBins = 3;
  MeasurementData& m = st.meas;
  m.ChargeDataAxis[0][1] = {1.0, 2.5, 4.0};
  m.ChargeDataDistri[0][1] = {3, 9, 1};
  m.NbOfValidChargeWords[0][1] = 13;
  m.ChargeMean[0][1] = 2.4;
  m.ChargeSigma[0][1] = 0.8123;
  m.ChargeDataAxis[1][0] = {-1.0, 0.0, 1.0};
  m.ChargeDataDistri[1][0] = {5, 5, 5};  // stale counts of an emptied histogram
  EXPECT_EQ(ChargeHisto_Text(st, st),
            "=== CHARGE HISTOs === \n"
            "== CHANNEL : 1  ==\n== Nb Of Entries in Histogram : 13  ==\n"
            "== X AXIS : Charge in pico-Coulombs [3 values] ==\n  1.000   2.500   4.000 \n"
            "== Y AXIS : Charge Distribution [3 values] ==\n3 9 1 \n"
            "== Mean Charge =   2.400 [pico-Coulombs] ==\n"
            "== Charge Sigma  =   0.812 [pico-Coulombs rms] ==\n"
            "== CHANNEL : 2  ==\n== Nb Of Entries in Histogram : 0  ==\n"
            "== X AXIS : Charge in pico-Coulombs [3 values] ==\n -1.000   0.000   1.000 \n"
            "== Y AXIS : Charge Distribution [3 values] ==\n0 0 0 \n"
            "== Mean Charge =   0.000 [pico-Coulombs] ==\n"
            "== Charge Sigma  =   0.000 [pico-Coulombs rms] ==\n");

  st.acq.TimeHistoChannelA = 0;
  st.acq.TimeHistoChannelB = 3;
  m.TimeHistoRange.bins = 2;
  m.NbOfValidTimes = 40;
  m.ThresholdCrossingAxis[0] = 1.25;
  m.ThresholdCrossingAxis[1] = 1.26;
  m.ThresholdCrossingDistri[0] = 30;
  m.ThresholdCrossingDistri[1] = 10;
  m.TimeHisto.mean_ns = 1.2525;
  m.TimeHisto.rms_ps = 4.33;
  m.TimeHisto.fwhm_ps = 10.0f;
  m.TimeHisto.fitted_centre_ns = 1.2524;
  m.TimeHisto.fitted_sigma_ps = 4.1;
  m.TimeHisto.fitted_fwhm_ps = 9.6547;
  EXPECT_EQ(TimeHisto_Text(st, st),
            "=== TIME DIFFERENCE DISTRIBUTION BETWEEN CHANNEL [0] AND CHANNEL [3] ON 40 EVENTS "
            "=== \n"
            "== X AXIS : Time difference between pulses in ns [2 values] ==\n1.25000 1.26000 \n"
            "== Y AXIS :  Time  Distribution [2 values] ==\n30 10 \n"
            "== Mean of time distance between Pulses = 1.25250 [ns] ==\n"
            "== RMS of time distance between Pulses  =   4.330 [ps] ==\n"
            "== FWHM of time distance between Pulses  =  10.000 [ps] ==\n"
            "== After Gaussian fit: ==\n"
            "== Fitted Mean of time distance between Pulses = 1.25240 [ns] ==\n"
            "== Sigma (fit) of time distance between Pulses  =   4.100 [ps] ==\n"
            "== FWHM (fit) of time distance between Pulses  =   9.655 [ps] ==\n");
}

TEST(ResultFilesTest, DialogsNameTheFilesAndOnlyRealWritesReportSuccess) {
  test::TestCore core;
  State& st = core.state;
  auto& ui = core.ui;
  const auto dir = core.home.path();
  st.sys.NbOfChannels = 2;
  ui.file_answers = {
      std::nullopt,     dir / "rates.dat", dir / "no_such_dir" / "x.dat", std::filesystem::path(),
      dir / "time.dat", dir / "charge.dat"};
  EXPECT_EQ(Save_RateVsThresholdPlotInFile(st, st, st), 0);  // cancelled: nothing
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(Save_RateVsThresholdPlotInFile(st, st, st), 1);
  EXPECT_TRUE(
      ui.has_message(MessageTab::Infos,
                     "Data saved in file '" + (dir / "rates.dat").string() + "' successfully.\n"));
  EXPECT_EQ(read_file(dir / "rates.dat"), RateVsThreshold_Text(st, st));
  ui.clear();
  EXPECT_LT(Save_ChargeHistoInFile(st, st, st), 0);
  EXPECT_TRUE(ui.has_message(MessageTab::Errors, "Error while opening file for saving data!\n"));
  EXPECT_LT(Save_ChargeHistoInFile(st, st, st), 0);
  EXPECT_TRUE(
      ui.has_message(MessageTab::Errors, "Error : Error while opening file for saving Data!\n"));
  ui.clear();
  EXPECT_EQ(Save_TimeHistoInFile(st, st, st), 1);
  EXPECT_TRUE(ui.messages().empty());  // the time file is written silently
  EXPECT_EQ(read_file(dir / "time.dat"), TimeHisto_Text(st, st));
  EXPECT_EQ(Save_ChargeHistoInFile(st, st, st), 1);
  EXPECT_TRUE(ui.has_message(MessageTab::Infos, "Charge Histograms saved in file '"));

  ASSERT_EQ(ui.file_requests.size(), 6u);
  EXPECT_EQ(ui.file_requests[1].title, "Name of File to Save Rate Vs Threshold Plot");
  EXPECT_EQ(ui.file_requests[1].initial_directory, dir / "OtherMeasurements");
  EXPECT_EQ(ui.file_requests[1].default_name, "Run_*_RateVsThreshold_12_6_2026.dat");
  EXPECT_EQ(ui.file_requests[4].default_name, "Run_*_TimeHistos_12_6_2026.dat");
  EXPECT_EQ(ui.file_requests[5].default_name, "Run_*_ChargeHistos_12_6_2026.dat");
  EXPECT_EQ(ui.file_requests[5].initial_directory, dir / "Histos");
  EXPECT_EQ(ui.file_requests[5].title, "Name of File to Save");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Histos"));
}

}  // namespace
}  // namespace vx
