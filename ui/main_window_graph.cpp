// The main graph: legends, scaling and annotations, and the frames drawn from the acquisition.
#include "ui/main_window.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>

#include "app/record_loan.h"
#include "digitizer/board_configuration.h"
#include "ui/main_graph_view.h"

namespace vx::ui {

namespace {

constexpr int kFrameIntervalMs = static_cast<int>(kFrameIntervalSeconds * 1000);

QString legend_style(Rgb c) {
  return QString("color: rgb(%1,%2,%3); background: transparent; font: bold 8pt;")
      .arg(c.r)
      .arg(c.g)
      .arg(c.b);
}

}  // namespace

QWidget* MainWindow::build_graph_area() {
  auto* area = new QWidget;
  area->setStyleSheet("background: rgb(12,12,16);");
  auto* v = new QVBoxLayout(area);
  v->setContentsMargins(2, 2, 2, 2);
  v->setSpacing(2);
  graph_ = new MainGraphView;
  graph_->setObjectName("GRAPH");
  graph_->setMinimumSize(700, 420);
  v->addWidget(graph_, 1);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(0);
  // As wide as a waveform legend at the usual scales, whatever the mode shows: a legend that
  // changes with the mode (FFT in dB, waveforms in mV/Div) then never moves the graph and the
  // MAIN page beside it.
  QFont legend_font = font();
  legend_font.setBold(true);
  legend_font.setPointSize(8);
  const int legend_width = QFontMetrics(legend_font).horizontalAdvance("Ch15:500 mV/Div");
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    legends_[ch] = new QLabel(QString("ch%1: x.xx V/Div").arg(ch));
    legends_[ch]->setObjectName(QString("CH%1LEGENDTEXT").arg(ch));
    legends_[ch]->setStyleSheet(legend_style(channel_colour(ch)));
    legends_[ch]->setMinimumWidth(legend_width);
    grid->addWidget(legends_[ch], ch / 8, ch % 8);
  }
  v->addLayout(grid);
  connect(graph_, &MainGraphView::cursors_moved, this, &MainWindow::refresh_cursor_readout);
  return area;
}

double MainWindow::zoom_label_factor() const {
  // Zoomed time axes are labelled in ns, like the cursor read-out; others keep their values.
  const int mode = st_.gui.GraphMode;
  const bool time_axis = mode != kGraphCharges && mode != kGraphFft;
  return time_axis ? Get_SamplingPeriod(st_) / 10000.0 : 0.0;
}

void MainWindow::recompute_graph_parameters() {
  std::lock_guard lock(params_mutex_);
  Compute_MainGraphParameters(st_);
  display_params_ = st_.gui;
}

bool MainWindow::view_held() const {
  return (shown_mode_ == kGraphPedestals || shown_mode_ == kGraphCells) &&
         shown_mode_ != st_.gui.GraphMode;
}

void MainWindow::held_view_scaling(GraphAxes& axes, GraphTitles& titles, bool& has_titles) {
  // Scaled on a copy: the record keeps its own mode, which a run's thread reads meanwhile.
  std::lock_guard lock(params_mutex_);
  GuiParams held = st_.gui;
  held.GraphMode = shown_mode_;
  Compute_MainGraphParameters(st_, held);
  axes = main_graph_axes(held);
  has_titles = graph_titles(st_, held, false, titles);
}

void MainWindow::refresh_graph_scaling() {
  if (view_held()) {
    GraphAxes axes;
    GraphTitles titles;
    bool has_titles = false;
    held_view_scaling(axes, titles, has_titles);
    graph_->apply_axes(axes);
    return;
  }
  if (graph_->zoomed()) graph_->set_zoom_label_factor(zoom_label_factor());
  GraphAxes axes;
  {
    std::lock_guard lock(params_mutex_);
    axes = main_graph_axes(st_.gui);
  }
  graph_->apply_axes(axes);
}

void MainWindow::refresh_annotations() {
  GraphTitles titles;
  if (view_held()) {
    GraphAxes axes;
    bool has_titles = false;
    held_view_scaling(axes, titles, has_titles);
    if (has_titles) graph_->set_titles(titles);
  } else if (graph_titles(st_, graph_->zoomed(), titles)) {
    graph_->set_titles(titles);
  }
  std::array<ChannelMarkers, kMaxChannels> markers{};
  const int shown = shown_channels(st_);
  const bool volts = st_.gui.AmplitudeInVolts == 1;
  for (int ch = 0; ch < shown; ++ch) {
    const double scale = volts ? 1000.0 : st_.gui.VerticalScale[ch];
    const double position = volts ? 0.0 : st_.gui.VerticalPosition[ch];
    markers[ch].shown = true;
    markers[ch].zero_level = position;
    markers[ch].trigger =
        trigger_marker_level(st_.sam[ch / 2].TriggerThreshold[ch % 2], scale, position);
    const std::string legend = channel_legend(st_.gui, ch);
    legends_[ch]->setText(QString::fromStdString(legend));
  }
  graph_->set_markers(markers, st_.gui.GraphMode == kGraphWaveforms && !view_held());
  refresh_trigger_annotation();
  graph_->replot(QCustomPlot::rpQueuedReplot);
}

void MainWindow::refresh_trigger_annotation() {
  const int shown = shown_channels(st_);
  const int ch = std::clamp(int{st_.gui.SelectedChannel}, 0, std::max(shown - 1, 0));
  const float threshold = st_.sam[ch / 2].TriggerThreshold[ch % 2];
  const MarkerLevel level = st_.gui.AmplitudeInVolts == 1
                                ? MarkerLevel{threshold, 0}
                                : trigger_marker_level(threshold, st_.gui.VerticalScale[ch],
                                                       st_.gui.VerticalPosition[ch]);
  const bool shown_now = trigger_found_ && st_.gui.GraphMode == kGraphWaveforms && !view_held();
  graph_->set_trigger_marker(shown_now,
                             static_cast<double>(shown_samples(st_)) * kDisplayPointsPerSample,
                             level, to_qcolor(channel_colour(ch)));
}

void MainWindow::refresh_cursor_readout() {
  const QPointF a = graph_->cursor(0), b = graph_->cursor(1);
  graph_->set_readout(QString::fromStdString(
      cursor_readout(st_.gui.GraphMode, a.x(), a.y(), b.x(), b.y(), Get_SamplingPeriod(st_))));
}

void MainWindow::compute_display(const RunConfig& cfg, const DecodedEvent& event) {
  GuiParams display;
  {
    std::lock_guard lock(params_mutex_);
    display = display_params_;
  }
  Compute_Histos(cfg, st_, st_, display, event, back_);
  {
    std::lock_guard lock(frame_mutex_);
    std::swap(back_, latest_);
    fresh_frame_ = true;
  }
  if (!redraw_posted_.exchange(true)) st_.ui.post([this] { redraw_now(); });
}

void MainWindow::redraw_now() {
  redraw_posted_ = false;
  // No faster than the screen: a frame arriving too early waits for the next slot.
  const qint64 since = since_replot_.elapsed();
  if (since < kFrameIntervalMs) {
    if (!redraw_timer_->isActive())
      redraw_timer_->start(static_cast<int>(kFrameIntervalMs - since));
    return;
  }
  {
    std::lock_guard lock(frame_mutex_);
    if (!fresh_frame_) return;
    std::swap(latest_, front_);
    fresh_frame_ = false;
  }
  graph_->show_frame(front_);
  if (Records_Lent(st_)) {
    // The worker that drew it holds the records: the axes and marks follow when it is done.
    shown_mode_ = front_.graph_mode;
    graph_->replot();
    return;
  }
  const bool was_held = view_held();
  shown_mode_ = front_.graph_mode;
  if (view_held() != was_held) {
    refresh_graph_scaling();
    refresh_annotations();
  }
  trigger_found_ = front_.trigger_found;
  refresh_trigger_annotation();
  if (st_.gui.GraphOptionCharge == 1 && !graph_->zoomed()) graph_->yAxis->rescale();
  graph_->replot();
  since_replot_.restart();
  ++redraw_count_;
}

}  // namespace vx::ui
