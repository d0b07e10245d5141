#include "ui/main_graph_view.h"

#include <cmath>

namespace vx::ui {

namespace {

const QColor kBackground = to_qcolor(kMainGraphBackground);
const QColor kGrid(70, 70, 80);
const QColor kAxisText(220, 220, 220);
const QColor kCursor(255, 255, 0);

void style_axis(QCPAxis* axis) {
  axis->setBasePen(QPen(kAxisText));
  axis->setTickPen(QPen(kAxisText));
  axis->setSubTickPen(Qt::NoPen);
  axis->setTickLabelColor(kAxisText);
  axis->setLabelColor(kAxisText);
  axis->grid()->setPen(QPen(kGrid, 1, Qt::DotLine));
  axis->grid()->setZeroLinePen(QPen(kGrid.lighter(140), 1));
}

}  // namespace

QColor to_qcolor(Rgb c) {
  return QColor(c.r, c.g, c.b);
}

double ScaledTicker::getTickStep(const QCPRange& range) {
  if (divisions_ > 0) return range.size() / divisions_;
  return QCPAxisTicker::getTickStep(range);
}

QString ScaledTicker::getTickLabel(double tick, const QLocale& locale, QChar, int) {
  const double v = tick * factor_;
  if (precision_ <= 0) return locale.toString(std::round(v), 'f', 0);
  // Trailing zeros carry nothing on a division grid.
  QString s = locale.toString(v, 'f', std::min(precision_, 6));
  if (s.contains(locale.decimalPoint())) {
    while (s.endsWith('0')) s.chop(1);
    if (s.endsWith(locale.decimalPoint())) s.chop(1);
  }
  return s == "-0" ? "0" : s;
}

MainGraphView::MainGraphView(QWidget* parent) : QCustomPlot(parent) {
  setBackground(kBackground);
  axisRect()->setBackground(kBackground);
  setPlottingHints(QCP::phFastPolylines | QCP::phCacheLabels);
  setNotAntialiasedElements(QCP::aeAll);
  setAntialiasedElement(QCP::aeItems, true);
  style_axis(xAxis);
  style_axis(yAxis);
  x_ticker_ = QSharedPointer<ScaledTicker>::create();
  y_ticker_ = QSharedPointer<ScaledTicker>::create();
  xAxis->setTicker(x_ticker_);
  yAxis->setTicker(y_ticker_);
  plotLayout()->insertRow(0);
  auto* title = new QCPTextElement(this, "", QFont("Sans", 9, QFont::Bold));
  title->setTextColor(kAxisText);
  plotLayout()->addElement(0, 0, title);
  // Markers and marks lie above every trace, whichever channel was drawn last.
  addLayer("markers", layer("main"), QCustomPlot::limAbove);
  QCPLayer* markers = layer("markers");

  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const QColor colour = to_qcolor(channel_colour(ch));
    graphs_[ch] = new_curve_graph(colour);
    edges_[ch] = addGraph();
    edges_[ch]->setLineStyle(QCPGraph::lsNone);
    edges_[ch]->setLayer(markers);
    edges_[ch]->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, colour, kBackground, 9));

    auto make_marker = [&](Qt::Alignment align) {
      auto* t = new QCPItemText(this);
      t->setClipToAxisRect(false);
      t->setColor(colour);
      t->setFont(QFont("Sans", 8, QFont::Bold));
      t->setPositionAlignment(align);
      t->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
      t->position->setTypeY(QCPItemPosition::ptPlotCoords);
      t->setVisible(false);
      t->setLayer(markers);
      return t;
    };
    // Inside the graph's edges, as on an oscilloscope screen.
    zero_markers_[ch] = make_marker(Qt::AlignLeft | Qt::AlignVCenter);
    zero_markers_[ch]->position->setCoords(0.0, 0.0);
    trigger_markers_[ch] = make_marker(Qt::AlignRight | Qt::AlignVCenter);
    trigger_markers_[ch]->position->setCoords(1.0, 0.0);
  }

  trigger_line_ = new QCPItemStraightLine(this);
  trigger_line_->setVisible(false);
  trigger_line_->setLayer(markers);
  trigger_line_->setSelectable(false);
  trigger_marker_ = new QCPItemText(this);
  trigger_marker_->setFont(QFont("Sans", 8, QFont::Bold));
  trigger_marker_->setPadding(QMargins(3, 1, 3, 1));
  trigger_marker_->setBrush(kBackground);
  trigger_marker_->setVisible(false);
  trigger_marker_->setSelectable(false);
  trigger_marker_->setLayer(markers);

  for (int i = 0; i < 2; ++i) {
    vertical_[i] = new QCPItemStraightLine(this);
    horizontal_[i] = new QCPItemStraightLine(this);
    for (auto* line : {vertical_[i], horizontal_[i]}) {
      line->setPen(QPen(kCursor, 1, i == 0 ? Qt::SolidLine : Qt::DashLine));
      line->setVisible(false);
      line->setSelectable(false);
      line->setLayer(markers);
    }
  }
  readout_ = new QCPItemText(this);
  readout_->position->setType(QCPItemPosition::ptAxisRectRatio);
  readout_->position->setCoords(0.01, 0.01);
  readout_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
  readout_->setTextAlignment(Qt::AlignLeft);
  readout_->setColor(kCursor);
  readout_->setBrush(Qt::NoBrush);
  readout_->setFont(QFont("Monospace", 8));
  readout_->setVisible(false);
  readout_->setLayer(markers);
}

QCPGraph* MainGraphView::new_curve_graph(const QColor& colour) {
  QCPGraph* g = addGraph();
  g->setPen(QPen(colour, 1));
  g->setAdaptiveSampling(true);
  return g;
}

void MainGraphView::apply_axes(const GraphAxes& a) {
  // A zoomed view keeps its range and its free ticks until Zoom Out.
  if (zoomed_) {
    set_zoom_ticks();
    return;
  }
  x_ticker_->set(a.x_divisions, a.x_label_factor, a.x_precision > 0 ? 3 : 0);
  y_ticker_->set(10, 1.0, a.y_precision);
  xAxis->setRange(a.x_min, a.x_max);
  if (a.y_autoscale) {
    y_ticker_->set(0, 1.0, a.y_precision);
    yAxis->rescale();
  } else {
    yAxis->setRange(a.y_min, a.y_max);
  }
}

void MainGraphView::set_titles(const GraphTitles& t) {
  yAxis->setLabel(QString::fromStdString(t.y_axis));
  xAxis->setLabel(QString::fromStdString(t.x_axis));
  if (auto* title = qobject_cast<QCPTextElement*>(plotLayout()->element(0, 0)))
    title->setText(QString::fromStdString(t.label));
}

namespace {

// "3", "0-15" or "0,2,5": the channels that share one marker.
QString channel_list(const std::vector<int>& chs) {
  bool contiguous = true;
  for (std::size_t i = 1; i < chs.size(); ++i) contiguous = contiguous && chs[i] == chs[i - 1] + 1;
  if (chs.size() == 1) return QString::number(chs[0]);
  if (contiguous) return QString("%1-%2").arg(chs.front()).arg(chs.back());
  QStringList parts;
  for (int c : chs) parts << QString::number(c);
  return parts.join(',');
}

// Channels whose markers would sit on top of each other share one, labelled with all of
// them; the first channel of each group gets it.
template <typename Level>
std::array<std::vector<int>, kMaxChannels> group_by_level(
    const std::array<ChannelMarkers, kMaxChannels>& m, Level level) {
  std::array<std::vector<int>, kMaxChannels> groups;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    if (!m[ch].shown) continue;
    int owner = ch;
    for (int other = 0; other < ch; ++other) {
      if (m[other].shown && !groups[other].empty() &&
          std::abs(level(m[other]) - level(m[ch])) < 0.15) {
        owner = other;
        break;
      }
    }
    groups[owner].push_back(ch);
  }
  return groups;
}

}  // namespace

void MainGraphView::set_markers(const std::array<ChannelMarkers, kMaxChannels>& m,
                                bool waveform_mode) {
  const auto zero_groups = group_by_level(m, [](const ChannelMarkers& c) { return c.zero_level; });
  const auto trigger_groups =
      group_by_level(m, [](const ChannelMarkers& c) { return c.trigger.level; });
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const bool zero_shown = waveform_mode && !zero_groups[ch].empty();
    zero_markers_[ch]->setVisible(zero_shown);
    if (zero_shown) {
      zero_markers_[ch]->setText(QString("%1 \u25B6").arg(channel_list(zero_groups[ch])));
      zero_markers_[ch]->position->setCoords(0.0, m[ch].zero_level);
    }
    const bool trigger_shown = waveform_mode && !trigger_groups[ch].empty();
    trigger_markers_[ch]->setVisible(trigger_shown);
    if (trigger_shown) {
      const MarkerLevel& t = m[ch].trigger;
      // Pinned at the screen's edge: an arrow pointing off the graph.
      const QString arrow = t.pinned > 0 ? "\u25B2" : t.pinned < 0 ? "\u25BC" : "\u25C0";
      trigger_markers_[ch]->setText(QString("%1T%2").arg(arrow, channel_list(trigger_groups[ch])));
      trigger_markers_[ch]->setPositionAlignment(Qt::AlignRight |
                                                 (t.pinned > 0   ? Qt::AlignTop
                                                  : t.pinned < 0 ? Qt::AlignBottom
                                                                 : Qt::AlignVCenter));
      trigger_markers_[ch]->position->setCoords(1.0, t.level);
    }
  }
}

void MainGraphView::set_trigger_marker(bool shown, double x, const MarkerLevel& level,
                                       const QColor& colour) {
  trigger_marker_->setVisible(shown);
  trigger_line_->setVisible(shown);
  if (!shown) return;
  // A thin line through the trigger instant, and a "T" where it meets the threshold; an
  // arrow at the screen's edge when the threshold lies beyond it.
  trigger_line_->setPen(QPen(colour.darker(150), 1, Qt::DashLine));
  trigger_line_->point1->setCoords(x, 0.0);
  trigger_line_->point2->setCoords(x, 1.0);
  trigger_marker_->setText(level.pinned > 0 ? "\u25B2T" : level.pinned < 0 ? "\u25BCT" : "T");
  trigger_marker_->setColor(colour);
  trigger_marker_->setPen(QPen(colour));
  trigger_marker_->setPositionAlignment(Qt::AlignHCenter | (level.pinned > 0   ? Qt::AlignTop
                                                            : level.pinned < 0 ? Qt::AlignBottom
                                                                               : Qt::AlignVCenter));
  trigger_marker_->position->setCoords(x, level.level);
}

bool MainGraphView::trigger_marker_shown() const {
  return trigger_marker_->visible();
}

QPointF MainGraphView::trigger_marker_position() const {
  return trigger_marker_->position->coords();
}

QString MainGraphView::marker_text(int channel, bool trigger) const {
  const QCPItemText* t = trigger ? trigger_markers_[channel] : zero_markers_[channel];
  return t->visible() ? t->text() : QString();
}

void MainGraphView::clear_curves() {
  for (auto* g : persisted_) removeGraph(g);
  persisted_.clear();
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    graphs_[ch]->data()->clear();
    edges_[ch]->data()->clear();
  }
}

void MainGraphView::set_persistence(bool on) {
  persistence_ = on;
  if (!on) {
    for (auto* g : persisted_) removeGraph(g);
    persisted_.clear();
  }
}

int MainGraphView::plotted_points(int channel) const {
  return graphs_[channel]->data()->size();
}

void MainGraphView::show_frame(const DisplayFrame& frame) {
  std::array<bool, kMaxChannels> drawn{};
  for (const DisplayCurve& c : frame.curves) {
    if (c.channel < 0 || c.channel >= kMaxChannels) continue;
    QCPGraph* g = graphs_[c.channel];
    if (persistence_ && !g->data()->isEmpty()) {
      // The outgoing curve stays, thinned to one point per sample: it is only a trace.
      QCPGraph* old = new_curve_graph(to_qcolor(channel_colour(c.channel)).darker(160));
      QVector<QCPGraphData> thin;
      const int step = frame.graph_mode == kGraphWaveforms ? kDisplayPointsPerSample : 1;
      thin.reserve(g->data()->size() / step + 1);
      int i = 0;
      for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it, ++i)
        if (i % step == 0) thin.append(*it);
      old->data()->set(thin, true);
      old->setLayer("background");
      persisted_.push_back(old);
      while (static_cast<int>(persisted_.size()) > kPersistedFrames * kMaxChannels) {
        removeGraph(persisted_.front());
        persisted_.pop_front();
      }
    }
    auto data = g->data();
    const int n = static_cast<int>(c.y.size());
    if (data->size() == n) {
      // Same length as last time: overwrite in place, no allocation.
      int i = 0;
      for (auto it = data->begin(); it != data->end(); ++it, ++i) {
        it->key = c.x0 + i;
        it->value = c.y[i];
      }
    } else {
      QVector<QCPGraphData> points(n);
      for (int i = 0; i < n; ++i) points[i] = QCPGraphData(c.x0 + i, c.y[i]);
      data->set(points, true);
    }
    edges_[c.channel]->data()->clear();
    if (c.has_marker) edges_[c.channel]->addData(c.marker_x, c.marker_y);
    drawn[c.channel] = true;
  }
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    if (drawn[ch]) continue;
    graphs_[ch]->data()->clear();
    edges_[ch]->data()->clear();
  }
}

void MainGraphView::set_cursors_visible(bool on) {
  cursors_visible_ = on;
  for (int i = 0; i < 2; ++i) {
    vertical_[i]->setVisible(on);
    horizontal_[i]->setVisible(on);
  }
  readout_->setVisible(on);
  if (on) {
    // Cursors appear inside the current view, a third and two thirds across.
    for (int i = 0; i < 2; ++i) {
      const QPointF p = cursor_[i];
      if (!xAxis->range().contains(p.x()) || !yAxis->range().contains(p.y()) || p.isNull())
        cursor_[i] = QPointF(xAxis->range().lower + xAxis->range().size() * (i + 1) / 3.0,
                             yAxis->range().lower + yAxis->range().size() * (2 - i) / 3.0);
      place_cursor(i);
    }
  }
}

void MainGraphView::set_cursor(int i, QPointF position) {
  cursor_[i] = position;
  place_cursor(i);
  emit cursors_moved();
}

void MainGraphView::place_cursor(int i) {
  const QPointF p = cursor_[i];
  vertical_[i]->point1->setCoords(p.x(), 0.0);
  vertical_[i]->point2->setCoords(p.x(), 1.0);
  horizontal_[i]->point1->setCoords(0.0, p.y());
  horizontal_[i]->point2->setCoords(1.0, p.y());
}

void MainGraphView::set_readout(const QString& text) {
  readout_->setText(text);
}

void MainGraphView::zoom_on_cursors(double ns_factor) {
  zoomed_ = true;
  const double x1 = cursor_[0].x(), x2 = cursor_[1].x();
  const double y1 = cursor_[0].y(), y2 = cursor_[1].y();
  const double dx = 0.001 * std::abs(x2 - x1), dy = 0.001 * std::abs(y2 - y1);
  // QCPRange refuses an empty range; set the bounds directly so equal cursors give one.
  xAxis->setRange(QCPRange(std::min(x1, x2) - dx, std::max(x1, x2) + dx));
  yAxis->setRange(QCPRange(std::min(y1, y2) - dy, std::max(y1, y2) + dy));
  set_zoom_label_factor(ns_factor);
  set_zoom_ticks();
  for (int i = 0; i < 2; ++i) place_cursor(i);
}

void MainGraphView::set_zoom_ticks() {
  x_ticker_->set(0, zoom_x_factor_, 3);
  y_ticker_->set(0, 1.0, 3);
}

void MainGraphView::mousePressEvent(QMouseEvent* event) {
  if (cursors_visible_ && event->button() == Qt::LeftButton) {
    // Grab the cursor whose crossing is nearest to the click.
    double best = 1e18;
    for (int i = 0; i < 2; ++i) {
      const double px = xAxis->coordToPixel(cursor_[i].x()),
                   py = yAxis->coordToPixel(cursor_[i].y());
      const double d = std::hypot(px - event->position().x(), py - event->position().y());
      if (d < best) {
        best = d;
        dragging_ = i;
      }
    }
    mouseMoveEvent(event);
    return;
  }
  QCustomPlot::mousePressEvent(event);
}

void MainGraphView::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ >= 0) {
    set_cursor(dragging_, QPointF(xAxis->pixelToCoord(event->position().x()),
                                  yAxis->pixelToCoord(event->position().y())));
    replot(rpQueuedReplot);
    return;
  }
  QCustomPlot::mouseMoveEvent(event);
}

void MainGraphView::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = -1;
  QCustomPlot::mouseReleaseEvent(event);
}

std::optional<double> MainGraphView::curve_origin(int channel) const {
  if (channel < 0 || channel >= kMaxChannels || graphs_[channel]->data()->isEmpty())
    return std::nullopt;
  return graphs_[channel]->data()->constBegin()->key;
}

std::optional<double> MainGraphView::curve_value(int channel, double x) const {
  if (channel < 0 || channel >= kMaxChannels || graphs_[channel]->data()->isEmpty())
    return std::nullopt;
  const auto data = graphs_[channel]->data();
  auto it = data->findBegin(x, false);
  if (it == data->constEnd()) --it;
  auto next = it + 1;
  if (next != data->constEnd() && std::abs(next->key - x) < std::abs(it->key - x)) it = next;
  return it->value;
}

}  // namespace vx::ui
