#include "ui/panels/time_measurements_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

#include "acquisition/time_measurement_controls.h"
#include "analysis/main_graph.h"
#include "analysis/waveform_utilities.h"
#include "app/field_ranges.h"
#include "ui/panels/time_histogram_panel.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

TimeMeasurementsPanel::TimeMeasurementsPanel(State& st, TimeHistogramPanel& histogram,
                                             QWidget* parent)
    : SettingsPanel(st, parent), histogram_(histogram) {
  setWindowFlag(Qt::Window);
  setObjectName("PANEL_TM");
  setWindowTitle("Time Measurements");

  auto* left = new QVBoxLayout;
  left->addWidget(build_general());
  left->addWidget(build_method());
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->addWidget(build_distance());
  right->addWidget(build_filters());
  right->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addLayout(right);
  refresh();
}

QWidget* TimeMeasurementsPanel::build_general() {
  display_time_ = make_check("Display Time on Waveforms", "DISPLAYTIME");
  jitter_ = make_check("Measure Time Jitter", "COMPUTEJITTER");
  show_histogram_ = make_button("Show Time Histogram", "SHOWTIMEHISTO");
  show_histogram_->setCheckable(true);
  peak_interp_ = make_combo("PEAKINTERP");
  peak_interp_->addItems({"No Interpolation", "Polynomial"});
  spline_ = make_check("Perform Spline Interpolation", "SPLINEINTERP");
  constexpr IntRange spline_bins = int_range_of<&AcqParams::NbOfBinsForSpline>();
  spline_bins_ = make_spin("NBOFBINFORSPLINE", spline_bins.lo, spline_bins.hi, 70);
  spline_bins_->setToolTip("Points computed per sampling interval");

  auto* box = new QGroupBox("Measurement");
  auto* grid = new QGridLayout(box);
  grid->addWidget(display_time_, 0, 0, 1, 2);
  grid->addWidget(jitter_, 1, 0);
  grid->addWidget(show_histogram_, 1, 1);
  grid->addWidget(new QLabel("Peak Interpolation"), 2, 0);
  grid->addWidget(peak_interp_, 2, 1);
  grid->addWidget(spline_, 3, 0, 1, 2);
  grid->addWidget(new QLabel("Spline Points per Sample"), 4, 0);
  grid->addWidget(spline_bins_, 4, 1);

  connect(display_time_, &QCheckBox::toggled, this,
          [this](bool on) { change([&] { Set_DisplayTimeOnWaveforms(st_, on); }); });
  connect(jitter_, &QCheckBox::toggled, this,
          [this](bool on) { change([&] { Set_TimeJitterEnabled(st_, on); }); });
  connect(show_histogram_, &QPushButton::toggled, this, [this](bool on) {
    histogram_.setVisible(on);
    if (on) histogram_.raise();
  });
  connect(&histogram_, &TimeHistogramPanel::visibility_changed, this, [this](bool visible) {
    const QSignalBlocker block(show_histogram_);
    show_histogram_->setChecked(visible);
  });
  connect(peak_interp_, &QComboBox::activated, this,
          [this](int i) { change([&] { Set_PeakInterpolation(st_, i == 1); }); });
  connect(spline_, &QCheckBox::toggled, this,
          [this](bool on) { change([&] { Set_SplineInterpolation(st_, on); }); });
  connect(spline_bins_, &QSpinBox::editingFinished, this,
          [this] { change([&] { Set_NbOfBinsForSpline(st_, spline_bins_->value()); }); });
  return box;
}

QWidget* TimeMeasurementsPanel::build_method() {
  method_ = make_combo("CFDMETHOD");
  method_->addItems({"CFD", "Fixed Threshold"});
  edge_timing_ = make_combo("EDGETIMING");
  edge_timing_->addItems({"Standard (Samples or Spline)", "Band-Limited"});
  edge_timing_->setToolTip(
      "Where the crossing is taken: on the samples, or their spline when it is on; or on the "
      "waveform's band-limited reconstruction, low-passed at half the Nyquist frequency (no "
      "bias with the pulse's place within a sample, less noise)");
  ratio_ = make_decimal("CFDRATIO", 0.0, 1.0, 2, 0.05, "", 100);
  baseline_bins_ = make_spin("NBOFBINFORBASELINE", 1, kMaxSamples, 70);
  baseline_bins_->setToolTip("Leading samples averaged for the baseline");
  threshold_channel_ = make_combo("THRESHOLDSELCH");
  edge_ = make_combo("PULSEEDGE");
  edge_->addItems({"Rising (Positive Pulse)", "Falling (Negative Pulse)"});
  all_edges_ = make_button("Apply to All", "APPLYTOALLEDGE");
  threshold_ = make_volts("PULSETHRESHOLD", -2.5, 2.5, 100);
  all_thresholds_ = make_button("Apply to All", "APPLYTOALLTHRESHOLD");
  threshold_counts_ = new QLabel;
  threshold_counts_->setObjectName("THRESHOLDCOUNTS");

  auto* box = new QGroupBox("Timing Method");
  auto* grid = new QGridLayout(box);
  grid->addWidget(method_, 0, 0, 1, 2);
  grid->addWidget(new QLabel("CFD ratio"), 1, 0);
  grid->addWidget(ratio_, 1, 1);
  grid->addWidget(new QLabel("Baseline Samples"), 2, 0);
  grid->addWidget(baseline_bins_, 2, 1);
  grid->addWidget(new QLabel("Edge Timing"), 3, 0);
  grid->addWidget(edge_timing_, 3, 1, 1, 2);
  auto* fixed = new QGroupBox("Fixed Threshold");
  auto* fg = new QGridLayout(fixed);
  fg->addWidget(new QLabel("Channel"), 0, 0);
  fg->addWidget(threshold_channel_, 0, 1);
  fg->addWidget(new QLabel("Edge"), 1, 0);
  fg->addWidget(edge_, 1, 1);
  fg->addWidget(all_edges_, 1, 2);
  fg->addWidget(new QLabel("Threshold"), 2, 0);
  fg->addWidget(threshold_, 2, 1);
  fg->addWidget(all_thresholds_, 2, 2);
  fg->addWidget(threshold_counts_, 3, 1, 1, 2);
  grid->addWidget(fixed, 4, 0, 1, 3);

  connect(method_, &QComboBox::activated, this,
          [this](int i) { change([&] { Set_TimingMethod(st_, i == 0); }); });
  connect(edge_timing_, &QComboBox::activated, this, [this](int i) {
    change([&] { Set_EdgeTiming(st_, i == 1 ? EdgeTiming::kBandLimited : EdgeTiming::kStandard); });
  });
  connect(ratio_, &QDoubleSpinBox::editingFinished, this,
          [this] { change([&] { Set_CFDRatio(st_, ratio_->value()); }); });
  connect(baseline_bins_, &QSpinBox::editingFinished, this,
          [this] { change([&] { Set_NbOfBinsForBaseline(st_, baseline_bins_->value()); }); });
  connect(threshold_channel_, &QComboBox::activated, this, [this] { refresh(); });
  connect(edge_, &QComboBox::activated, this,
          [this](int i) { change([&] { Set_PulseEdge(st_, selected_channel(), i); }); });
  connect(all_edges_, &QPushButton::clicked, this,
          [this] { change([&] { Set_PulseEdge(st_, -1, edge_->currentIndex()); }); });
  connect(threshold_, &QDoubleSpinBox::editingFinished, this, [this] {
    change([&] { Set_PulseThreshold(st_, selected_channel(), threshold_->value()); });
  });
  connect(all_thresholds_, &QPushButton::clicked, this,
          [this] { change([&] { Set_PulseThreshold(st_, -1, threshold_->value()); }); });
  return box;
}

QWidget* TimeMeasurementsPanel::build_distance() {
  max_distance_ = make_decimal("MAXPEAKTHRESHOLD", 0.0, 1000.0, 3, 0.5, " ns", 100);
  no_max_ = make_check("No Max", "MAXPEAKTHRESHOFF");
  auto* box = new QGroupBox("Max Peak-Threshold Distance");
  auto* row = new QHBoxLayout(box);
  row->addWidget(max_distance_);
  row->addWidget(no_max_);
  row->addStretch();
  connect(no_max_, &QCheckBox::toggled, this,
          [this](bool on) { change([&] { Set_NoMaxPeakThresholdDistance(st_, on); }); });
  connect(max_distance_, &QDoubleSpinBox::editingFinished, this,
          [this] { change([&] { Set_MaxPeakThresholdDistance(st_, max_distance_->value()); }); });
  return box;
}

QWidget* TimeMeasurementsPanel::build_filters() {
  exclude_distance_ = make_check("Exclude Pulses with distance :", "ENABLEEXCLUDEPULSES");
  min_pulses_distance_ = make_decimal("MINPULSESDISTANCE", -1000.0, 1000.0, 3, 0.1, " ns", 100);
  max_pulses_distance_ = make_decimal("MAXPULSESDISTANCE", -1000.0, 1000.0, 3, 0.1, " ns", 100);
  exclude_below_ = make_check("below", "EN_AMP_BELOW_EXCLUDE");
  min_amplitude_ = make_volts("MINPEAKAMPLITUDE", -2.5, 2.5, 100);
  exclude_above_ = make_check("above", "EN_AMP_ABOVE_EXCLUDE");
  max_amplitude_ = make_volts("MAXPEAKAMPLITUDE", -2.5, 2.5, 100);

  auto* box = new QGroupBox("Time Histogram Filters");
  auto* grid = new QGridLayout(box);
  grid->addWidget(exclude_distance_, 0, 0, 1, 4);
  grid->addWidget(new QLabel("below"), 1, 0, Qt::AlignRight);
  grid->addWidget(min_pulses_distance_, 1, 1);
  grid->addWidget(new QLabel("or above"), 1, 2, Qt::AlignRight);
  grid->addWidget(max_pulses_distance_, 1, 3);
  grid->addWidget(new QLabel("Exclude Pulses with Peak Amplitude :"), 2, 0, 1, 4);
  grid->addWidget(exclude_below_, 3, 0, Qt::AlignRight);
  grid->addWidget(min_amplitude_, 3, 1);
  grid->addWidget(exclude_above_, 3, 2, Qt::AlignRight);
  grid->addWidget(max_amplitude_, 3, 3);
  auto* note = new QLabel("Signed amplitudes: either channel outside a limit excludes the event.");
  note->setWordWrap(true);
  note->setStyleSheet("color: gray;");
  grid->addWidget(note, 4, 0, 1, 4);

  for (QCheckBox* c : {exclude_distance_, exclude_below_, exclude_above_})
    connect(c, &QCheckBox::toggled, this, [this] { apply_filters(); });
  for (QDoubleSpinBox* s :
       {min_pulses_distance_, max_pulses_distance_, min_amplitude_, max_amplitude_})
    connect(s, &QDoubleSpinBox::editingFinished, this, [this] { apply_filters(); });
  return box;
}

void TimeMeasurementsPanel::apply_filters() {
  TimeHistoFilters f;
  f.by_distance = exclude_distance_->isChecked();
  f.min_distance_ns = min_pulses_distance_->value();
  f.max_distance_ns = max_pulses_distance_->value();
  f.below_amplitude = exclude_below_->isChecked();
  f.min_amplitude_v = min_amplitude_->value();
  f.above_amplitude = exclude_above_->isChecked();
  f.max_amplitude_v = max_amplitude_->value();
  change([&] {
    Set_TimeHistoFilters(st_, st_, f);
    histogram_.capture();
  });
  histogram_.refresh();
}

int TimeMeasurementsPanel::selected_channel() const {
  return std::max(0, threshold_channel_->currentData().toInt());
}

void TimeMeasurementsPanel::rebuild_channel_list() {
  const int shown = shown_channels(st_);
  if (threshold_channel_->count() == shown) return;
  const int selected = threshold_channel_->currentIndex();
  const QSignalBlocker block(threshold_channel_);
  threshold_channel_->clear();
  for (int ch = 0; ch < shown; ++ch) threshold_channel_->addItem(QString("CH%1").arg(ch), ch);
  threshold_channel_->setCurrentIndex(std::clamp(selected, 0, shown - 1));
}

void TimeMeasurementsPanel::refresh() {
  rebuild_channel_list();
  const QSignalBlocker b1(display_time_), b2(jitter_), b3(peak_interp_), b4(spline_),
      b5(spline_bins_), b6(method_), b7(ratio_), b8(baseline_bins_), b9(edge_), b10(threshold_),
      b11(no_max_), b12(max_distance_), b13(exclude_distance_), b14(min_pulses_distance_),
      b15(max_pulses_distance_), b16(exclude_below_), b17(min_amplitude_), b18(exclude_above_),
      b19(max_amplitude_), b20(show_histogram_), b21(edge_timing_);
  const AcqParams& a = st_.acq;
  display_time_->setChecked(st_.gui.DisplayTimeOnWaveforms == 1);
  jitter_->setChecked(a.EnTimeJitter == 1);
  show_histogram_->setChecked(histogram_.isVisible());
  peak_interp_->setCurrentIndex(st_.meas.PeakInterp.load() == 1 ? 1 : 0);
  spline_->setChecked(st_.meas.PerformSplineInterp.load() == 1);
  spline_bins_->setValue(a.NbOfBinsForSpline);
  // The band-limited timing interpolates by itself and finds its own peak: the spline and
  // peak settings are the standard timing's.
  const bool band_limited = EdgeTiming_Of(a.TimeMeasSpareOption) == EdgeTiming::kBandLimited;
  edge_timing_->setCurrentIndex(band_limited ? 1 : 0);
  peak_interp_->setEnabled(!band_limited);
  spline_->setEnabled(!band_limited);
  spline_bins_->setEnabled(!band_limited && spline_->isChecked());

  const bool cfd = a.CFDMethod == 1;
  method_->setCurrentIndex(cfd ? 0 : 1);
  ratio_->setValue(a.CFDRatio);
  baseline_bins_->setValue(a.NbOfBinsForBaseline);
  ratio_->setEnabled(cfd);
  baseline_bins_->setEnabled(cfd);
  const int ch = selected_channel();
  const float counts = pulse_threshold_counts(st_, ch);
  edge_->setCurrentIndex(a.PulseEdge[ch / kChannelsPerBlock][ch % kChannelsPerBlock] == 0 ? 0 : 1);
  threshold_->setValue(counts / kThresholdCountsPerVolt);
  threshold_counts_->setText(
      QString("= %1 ADC counts").arg(static_cast<double>(counts), 0, 'f', 1));
  for (QWidget* w : std::initializer_list<QWidget*>{threshold_channel_, edge_, all_edges_,
                                                    threshold_, all_thresholds_, threshold_counts_})
    w->setEnabled(!cfd);

  no_max_->setChecked(a.NoMaxPeakThresholdDistance == 1);
  max_distance_->setValue(a.MaxPeakThresholdDistance);
  max_distance_->setEnabled(!no_max_->isChecked());

  const TimeHistoFilters f = time_histo_filters(st_, st_);
  exclude_distance_->setChecked(f.by_distance);
  min_pulses_distance_->setValue(f.min_distance_ns);
  max_pulses_distance_->setValue(f.max_distance_ns);
  min_pulses_distance_->setEnabled(f.by_distance);
  max_pulses_distance_->setEnabled(f.by_distance);
  exclude_below_->setChecked(f.below_amplitude);
  min_amplitude_->setValue(f.min_amplitude_v);
  min_amplitude_->setEnabled(f.below_amplitude);
  exclude_above_->setChecked(f.above_amplitude);
  max_amplitude_->setValue(f.max_amplitude_v);
  max_amplitude_->setEnabled(f.above_amplitude);
}

}  // namespace vx::ui
