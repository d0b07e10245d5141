// How the main window applies a change: handed over to the frame computation, or with the
// run restarted.
#pragma once

#include "acquisition/run_control.h"
#include "analysis/main_graph.h"
#include "ui/main_window.h"

namespace vx::ui {

// The change is made on the records (the user-interface thread's own), then handed over.
template <typename F>
void MainWindow::change_display(F change) {
  change();
  recompute_graph_parameters();
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
