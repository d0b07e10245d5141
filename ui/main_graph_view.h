// The main graph: the displayed event's curves in the channel colours, the channel
// zero-level and trigger-level markers, the leading-edge marks, two measurement cursors
// with their read-out, zoom and persistence.
#pragma once

#include <qcustomplot.h>
#include <array>
#include <deque>
#include <optional>

#include "analysis/main_graph.h"

namespace vx::ui {

// Ticks at fixed divisions with labels scaled by a factor (display points to divisions
// or nanoseconds), or automatic ticks when divisions is 0.
class ScaledTicker : public QCPAxisTicker {
 public:
  void set(int divisions, double factor, int precision) {
    divisions_ = divisions;
    factor_ = factor;
    precision_ = precision;
  }

 protected:
  double getTickStep(const QCPRange& range) override;
  QString getTickLabel(double tick, const QLocale& locale, QChar format, int precision) override;

 private:
  int divisions_ = 0;
  double factor_ = 1.0;
  int precision_ = 2;
};

struct ChannelMarkers {
  bool shown = false;
  double zero_level = 0.0;
  MarkerLevel trigger;
};

class MainGraphView : public QCustomPlot {
  Q_OBJECT
 public:
  static constexpr int kPersistedFrames = 24;

  explicit MainGraphView(QWidget* parent = nullptr);

  void apply_axes(const GraphAxes& axes);
  void set_titles(const GraphTitles& titles);
  void set_markers(const std::array<ChannelMarkers, kMaxChannels>& markers, bool waveform_mode);
  // The trigger position of the displayed event: x in display points, level as a
  // channel's trigger marker; hidden when no trigger was found.
  void set_trigger_marker(bool shown, double x, const MarkerLevel& level, const QColor& colour);
  bool trigger_marker_shown() const;
  QPointF trigger_marker_position() const;
  // The channel's marker text as drawn, empty when hidden or merged into another's.
  QString marker_text(int channel, bool trigger) const;
  // Replaces the curves with the frame's (keeping earlier ones when persistence is on).
  void show_frame(const DisplayFrame& frame);
  void clear_curves();
  void set_persistence(bool on);
  bool persistence() const { return persistence_; }
  int persisted_curve_count() const { return static_cast<int>(persisted_.size()); }
  int plotted_points(int channel) const;
  // The channel's drawn curve: x of its first point, and its value nearest to x.
  std::optional<double> curve_origin(int channel) const;
  std::optional<double> curve_value(int channel, double x) const;
  const QCPGraph* curve(int channel) const { return graphs_[channel]; }

  void set_cursors_visible(bool on);
  bool cursors_visible() const { return cursors_visible_; }
  QPointF cursor(int i) const { return cursor_[i]; }
  void set_cursor(int i, QPointF position);
  void set_readout(const QString& text);
  // Zoom on the rectangle the two cursors span; ns_factor > 0 relabels X in ns.
  void zoom_on_cursors(double ns_factor);
  bool zoomed() const { return zoomed_; }
  void set_zoomed(bool z) { zoomed_ = z; }
  // The zoomed X labels' factor, kept in step with the sampling period.
  void set_zoom_label_factor(double ns_factor) {
    zoom_x_factor_ = ns_factor > 0.0 ? ns_factor : 1.0;
  }

 signals:
  void cursors_moved();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void place_cursor(int i);
  void set_zoom_ticks();
  QCPGraph* new_curve_graph(const QColor& colour);

  std::array<QCPGraph*, kMaxChannels> graphs_{};
  std::array<QCPGraph*, kMaxChannels> edges_{};
  std::array<QCPItemText*, kMaxChannels> zero_markers_{};
  std::array<QCPItemText*, kMaxChannels> trigger_markers_{};
  QCPItemText* trigger_marker_ = nullptr;
  QCPItemStraightLine* trigger_line_ = nullptr;
  std::deque<QCPGraph*> persisted_;
  QSharedPointer<ScaledTicker> x_ticker_, y_ticker_;
  std::array<QCPItemStraightLine*, 2> vertical_{};
  std::array<QCPItemStraightLine*, 2> horizontal_{};
  std::array<QPointF, 2> cursor_{};
  QCPItemText* readout_ = nullptr;
  bool cursors_visible_ = false;
  bool persistence_ = false;
  bool zoomed_ = false;
  double zoom_x_factor_ = 1.0;  // zoomed X labels: display point to ns (or 1)
  int dragging_ = -1;
};

QColor to_qcolor(Rgb c);

}  // namespace vx::ui
