// The strip charts of live values: x in seconds of the run, the axis following the last
// two minutes.
#pragma once

#include <QVector>

class QCustomPlot;

namespace vx::ui {

// Labels the x axis and shows the window of a run just started.
void setup_strip_chart_axis(QCustomPlot* chart);
// Appends one point per trace at `seconds`; a point earlier than the last (a new run) starts
// the traces afresh. Points that left the window go.
void add_strip_chart_points(QCustomPlot* chart, double seconds, const QVector<double>& points);

}  // namespace vx::ui
