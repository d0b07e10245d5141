// Run › Export Run to HDF5…: asks for a saved run and an output file, exports on a worker
// thread and follows it with a progress dialog, so the event loop (and a running
// acquisition) carries on meanwhile.
#pragma once

#include <QObject>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>

#include "app/state.h"
#include "files/hdf5_export.h"

class QAction;
class QProgressDialog;
class QTimer;
class QWidget;

namespace vx::ui {

class Dialogs;

class RunExportAction : public QObject {
  Q_OBJECT

 public:
  RunExportAction(State& st, Dialogs& dialogs, QWidget* parent);
  ~RunExportAction() override;

  QAction* action() const { return action_; }
  // Exports run into out (both chosen already); false when an export is still going on.
  bool start(const std::filesystem::path& run, const std::filesystem::path& out,
             bool accept_other_version = false);
  bool busy() const { return running_; }
  QProgressDialog* progress_dialog() const { return progress_; }

 signals:
  void finished(bool ok);

 private:
  void choose_and_start();
  void poll();
  void done();

  State& st_;
  Dialogs& dialogs_;
  QWidget* parent_;
  QAction* action_;
  QProgressDialog* progress_ = nullptr;
  QTimer* timer_;
  bool running_ = false;  // an export was started and not yet reported
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  std::atomic<std::uint64_t> events_{0};
  std::atomic<int> permille_{0};
  ExportRequest request_;
  ExportResult result_;
};

}  // namespace vx::ui
