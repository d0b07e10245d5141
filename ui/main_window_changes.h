// How the main window applies a change: under the display lock, or with the run restarted.
#pragma once

#include <mutex>

#include "acquisition/run_control.h"
#include "analysis/main_graph.h"
#include "ui/main_window.h"

namespace vx::ui {

template <typename F>
void MainWindow::change_display(F change) {
  {
    std::lock_guard lock(params_mutex_);
    change();
    Compute_MainGraphParameters(st_);
  }
  refresh_graph_scaling();
  refresh_annotations();
  redraw_now();
}

template <typename F>
void MainWindow::with_restart(F change) {
  const bool was_running = RestartGuard::begin(st_);
  stop_and_wait();
  RestartGuard restart(st_, was_running);
  change();
}

}  // namespace vx::ui
