// The INL Calibration panel and its histogram window, offscreen.
#include <QCheckBox>
#include <QLabel>

#include "gui_fixture.h"
#include "ui/panels/inl_panel.h"

namespace vx::ui {
namespace {

TEST(GuiInlPanel, SettingsAndHistograms) {
  test::TestCore core;
  State& st = core.state;
  st.sys.NbOfSAMBlocks = 2;
  st.acq.INLNbOfSegments = 64;
  for (int ch = 0; ch < 4; ++ch) st.gui.ChannelEnabled[ch] = ch != 2 ? 1 : 0;
  InlPanel panel(st);

  // Only group counts that divide the 64 group slots are offered.
  auto* groups = panel.findChild<QComboBox*>("JITTERNBOFMEANS");
  ASSERT_NE(groups, nullptr);
  ASSERT_EQ(groups->count(), 7);
  for (int i = 0; i < groups->count(); ++i) EXPECT_EQ(64 % groups->itemData(i).toInt(), 0);
  EXPECT_EQ(groups->currentData().toInt(), 64);

  // Volts in, truncated counts stored, counts shown back in volts.
  auto* threshold = panel.findChild<QDoubleSpinBox*>("CALIBRATIONTHRESHOLD");
  ASSERT_NE(threshold, nullptr);
  enter(threshold, 0.5);
  EXPECT_EQ(VX_VALUE(st.acq.INLCalibPanelValue), 818.0f);
  EXPECT_NEAR(threshold->value(), 818 * 1.25 / 2047.0, 1e-4);

  // Results of a run: one curve per enabled channel in every graph.
  for (int ch = 0; ch < 4; ++ch) st.inl.at(ch / 2, ch % 2).ResidualSegments.fill(ch);
  st.inl.computed = true;
  // "Save INL Values" only for a run that measured the sine.
  auto* save = panel.findChild<QPushButton*>("SAVEINLVALUES");
  ASSERT_NE(save, nullptr);
  panel.refresh_histograms();
  EXPECT_FALSE(save->isEnabled());
  st.inl.usable = true;
  panel.refresh_histograms();
  EXPECT_TRUE(save->isEnabled());
  panel.findChild<QCheckBox*>("INLHISTOSENABLE")->setChecked(true);
  for (int p = 1; p <= 6; ++p) {
    auto* plot = panel.histograms()->findChild<QCustomPlot*>(QString("INLHISTO%1").arg(p));
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->graphCount(), 3) << "graph " << p;
  }
  // One legend for the six plots: the channels drawn, and only those.
  const QString legend = panel.histograms()->findChild<QLabel*>("INLHISTOSLEGEND")->text();
  for (const char* drawn : {"Ch&nbsp;0<", "Ch&nbsp;1<", "Ch&nbsp;3<"})
    EXPECT_TRUE(legend.contains(drawn)) << drawn << " in " << legend.toStdString();
  EXPECT_FALSE(legend.contains("Ch&nbsp;2<"));
}

}  // namespace
}  // namespace vx::ui
