#include "ui/run_export_action.h"

#include <QAction>
#include <QProgressDialog>
#include <QTimer>
#include <chrono>
#include <thread>

#include "app/message_log.h"
#include "app/messages.h"
#include "ui/dialogs.h"
#include "ui/menu_actions.h"

namespace vx::ui {

namespace fs = std::filesystem;

RunExportAction::RunExportAction(State& st, Dialogs& dialogs, QWidget* parent)
    : QObject(parent),
      st_(st),
      dialogs_(dialogs),
      parent_(parent),
      action_(new QAction("Export Run to HDF5…", this)),
      timer_(new QTimer(this)) {
  action_->setObjectName(object_name(MenuAction::ExportRun));
  action_->setToolTip("Convert a saved run, its split files and measurements, to one HDF5 file");
  connect(action_, &QAction::triggered, this, &RunExportAction::choose_and_start);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &RunExportAction::poll);
}

RunExportAction::~RunExportAction() {
  cancel_.store(true);
  while (running_ && !finished_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void RunExportAction::choose_and_start() {
  if (busy()) return;
  FileDialogRequest pick;
  pick.title = "Run File to Export";
  pick.initial_directory = std::string(st_.acq.DataDirectory, text_length(st_.acq.DataDirectory));
  pick.filter = "*.bin;*.dat";
  const auto run = dialogs_.select_file(pick);
  if (!run) return;
  const fs::path run_path = run->toStdString();
  FileDialogRequest save;
  save.title = "HDF5 File to Write";
  save.initial_directory = run_path.parent_path();
  save.default_name = run_path.stem().string() + ".h5";
  save.filter = "*.h5;*.hdf5";
  save.save = true;
  const auto out = dialogs_.select_file(save);
  if (!out) return;
  start(run_path, out->toStdString());
}

bool RunExportAction::start(const fs::path& run, const fs::path& out, bool accept_other_version) {
  if (busy()) return false;
  request_ = {};
  request_.run_file = run;
  request_.output = out;
  request_.overwrite = true;  // the save dialog asked before replacing a file
  request_.accept_other_version = accept_other_version;
  request_.progress = [this](const ExportProgress& p) {
    events_.store(p.events);
    if (p.bytes_total > 0) permille_.store(static_cast<int>(1000.0 * p.bytes_done / p.bytes_total));
    return !cancel_.load();
  };
  cancel_.store(false);
  finished_.store(false);
  events_.store(0);
  permille_.store(0);
  action_->setEnabled(false);

  progress_ =
      new QProgressDialog("Exporting '" + QString::fromStdString(run.filename().string()) + "'…",
                          "Cancel", 0, 1000, parent_);
  progress_->setObjectName("EXPORTPROGRESS");
  progress_->setWindowTitle("Export Run to HDF5");
  progress_->setWindowModality(Qt::NonModal);
  progress_->setMinimumDuration(0);
  progress_->setMinimumWidth(420);
  progress_->setAttribute(Qt::WA_DeleteOnClose, false);
  connect(progress_, &QProgressDialog::canceled, this, [this] { cancel_.store(true); });
  progress_->show();

  running_ = true;
  st_.pool.schedule([this] {
    result_ = Export_RunToHdf5(request_);
    finished_.store(true);
  });
  timer_->start();
  return true;
}

void RunExportAction::poll() {
  if (finished_.load()) {
    done();
    return;
  }
  if (progress_ != nullptr) {
    progress_->setValue(permille_.load());
    progress_->setLabelText(QString("Exporting '%1'…\n%2 events written")
                                .arg(QString::fromStdString(request_.run_file.filename().string()))
                                .arg(events_.load()));
  }
}

void RunExportAction::done() {
  timer_->stop();
  running_ = false;
  if (progress_ != nullptr) {
    progress_->hide();
    progress_->deleteLater();
    progress_ = nullptr;
  }
  action_->setEnabled(true);
  const ExportResult r = result_;
  if (!r.ok && !request_.accept_other_version &&
      r.error.find("another software version") != std::string::npos &&
      dialogs_.confirm(
          "WARNING",
          "File was saved with an older version of the software, do you want to continue?")) {
    start(request_.run_file, request_.output, true);
    return;
  }
  if (!r.ok && cancel_.load()) {
    Write_InfoMessage(st_, "Export of '" + request_.run_file.string() + "' cancelled.\n", kInfo);
  } else if (r.ok && r.stopped_at_damage) {
    Write_InfoMessage(st_,
                      "Data saved in file '" + request_.output.string() + "' up to event " +
                          std::to_string(r.last_event) + " only, where the run is damaged: " +
                          r.error + (r.error.ends_with('\n') ? "" : "\n"),
                      kWarning);
  } else if (r.ok) {
    Write_InfoMessage(st_, data_saved_message(request_.output.string()), kInfo);
  } else {
    std::string text = r.error;
    if (text.rfind("Error while", 0) != 0) text = "Error while exporting the run: " + text;
    if (text.empty() || text.back() != '\n') text += "\n";
    Write_InfoMessage(st_, text, kError);
  }
  emit finished(r.ok);
}

}  // namespace vx::ui
