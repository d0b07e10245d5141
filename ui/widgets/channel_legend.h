// Legends for plots that several channels share, in the channels' colours.
#pragma once

#include <QString>
#include <vector>

class QCPAxis;
class QCustomPlot;

namespace vx::ui {

// Puts the plot's legend under its axes, in rows of up to `columns` entries (the graphs'
// names), shown while more than one graph is drawn. Call after the graphs change.
void show_channel_legend(QCustomPlot* plot, int columns = 8);

// "Ch 0  Ch 1 ..." in the channels' colours, for a label that serves several plots.
QString channel_legend_html(const std::vector<int>& channels);

// A logarithmic or linear value axis with its ticker.
void set_log_scale(QCPAxis* axis, bool log);

}  // namespace vx::ui
