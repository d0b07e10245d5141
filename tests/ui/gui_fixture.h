// What the desktop tests share: scripted answers to every dialog, an event pump, and the
// application started on a fresh user directory with the simulated board.
#pragma once

#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "sim/simulated_board.h"
#include "support/file_text.h"
#include "support/packed_value.h"
#include "support/recording_digitizer.h"
#include "support/tcp_client.h"
#include "support/test_state.h"
#include "ui/access_panel.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/gui_app.h"
#include "ui/main_window.h"
#include "ui/tcp_panel.h"

namespace vx::ui {

class ScriptedDialogs : public Dialogs {
 public:
  struct Shown {
    PopupKind kind;
    QString title, text;
  };
  void popup(PopupKind kind, const QString& title, const QString& text) override {
    shown.push_back({kind, title, text});
    if (!on_popup) return;
    const auto once = std::move(on_popup);
    on_popup = nullptr;
    once();
  }
  bool confirm(const QString&, const QString& text) override {
    questions << text;
    return confirm_answer;
  }
  // Each prompt takes the next scripted answer (nullopt: Cancel); none left means Cancel.
  std::optional<QString> prompt(const QString& title, const QString& text,
                                const QString&) override {
    asked << title + ": " + text;
    return test::take_front(prompt_answers, std::nullopt);
  }
  // Each file dialog takes the next scripted answer; none left means Cancel.
  std::optional<QString> select_file(const FileDialogRequest& request) override {
    file_requests.push_back(request);
    return test::take_front(file_answers, std::nullopt);
  }
  std::optional<QString> select_directory(const QString&, const QString&) override {
    return directory_answer;
  }

  bool saw(const QString& title, const QString& text) const {
    for (const auto& s : shown)
      if (s.title == title && s.text.contains(text)) return true;
    return false;
  }
  // Every popup as "title: text".
  QStringList popups() const {
    QStringList out;
    for (const auto& s : shown) out << s.title + ": " + s.text;
    return out;
  }

  std::vector<Shown> shown;
  QStringList questions, asked;
  bool confirm_answer = false;
  std::deque<std::optional<QString>> prompt_answers;
  std::deque<std::optional<QString>> file_answers;
  std::vector<FileDialogRequest> file_requests;
  std::optional<QString> directory_answer;
  std::function<void()> on_popup;  // runs once, while the next popup is "open"
};

// Unoptimised builds (the sanitizer passes) run several times slower: the waits stretch.
#ifdef NDEBUG
inline constexpr int kWaitScale = 1;
#else
inline constexpr int kWaitScale = 4;
#endif

inline bool wait_until(const std::function<bool()>& pred, int timeout_ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > static_cast<qint64>(timeout_ms) * kWaitScale) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  QApplication::processEvents();
  return true;
}

inline void pump_for(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

using test::files_under;
using test::read_file;
using test::TcpClient;

// Pumps the event loop until the remote client has received text.
inline bool wait_received(TcpClient& client, const std::string& text, int timeout_ms = 10000) {
  return wait_until(
      [&] {
        client.poll();
        return client.received.find(text) != std::string::npos;
      },
      timeout_ms);
}

// A panel's control by its object name.
template <typename W>
W* child(QWidget* panel, const char* name) {
  auto* w = panel->findChild<W*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}
// A value typed into a field and confirmed, or an item chosen, as the user does.
template <typename Field, typename Value>
void enter(Field* f, const Value& v) {
  if constexpr (std::is_base_of_v<QLineEdit, Field>)
    f->setText(v);
  else
    f->setValue(v);
  emit f->editingFinished();
}
inline void choose(QComboBox* c, int i) {
  c->setCurrentIndex(i);
  emit c->activated(i);
}

// The application on a fresh user directory; sim_config, when given, is the simulated board's
// configuration text.
struct GuiTest : ::testing::Test {
  vx::test::TempDir home;
  ScriptedDialogs dialogs;
  CallLog calls;  // outlives the application, whose board may record into it to the end
  std::unique_ptr<RecordingDigitizer> recorder;
  std::unique_ptr<GuiApp> app;

  GuiTest() : GuiTest(std::string()) {}
  explicit GuiTest(const std::string& sim_config) {
    GuiOptions options;
    options.user_dir = home.path().string();
    if (!sim_config.empty()) {
      const auto path = home.path() / "sim.cfg";
      std::ofstream(path) << sim_config;
      options.sim_config = path.string();
    }
    app = std::make_unique<GuiApp>(options);
    app->front_end().set_dialogs(&dialogs);
    app->start();
  }
  ~GuiTest() override {
    if (app && st().AcquisitionRunning.load() == 1) main().stop_and_wait();
    app.reset();
  }

  State& st() { return app->state(); }
  MainWindow& main() { return app->main_window(); }
  // Start as the user does. The loop lowers AcquisitionRunning before the user-interface
  // thread has seen the previous run end: Start is enabled again only then.
  void press_start() {
    EXPECT_TRUE(wait_until([&] { return main().action(MenuAction::Start)->isEnabled(); }));
    main().action(MenuAction::Start)->trigger();
  }
  QString messages(MessageTab tab) { return main().message_box(tab)->toPlainText(); }
  QString infos() { return messages(MessageTab::Infos); }

  // model_index 1: the 8-channel desktop board (link 0: USB), 2: the 16-channel VME board.
  void connect_board(int model_index = 2, int link_index = 1) {
    auto& panel = app->connection_panel();
    panel.model_box()->setCurrentIndex(model_index);
    panel.link_box()->setCurrentIndex(link_index);
    panel.connect_button()->click();
    ASSERT_TRUE(wait_until(
        [&] { return st().ConnectingThreadReleased.load() == 1 && st().Connecting.load() == 0; }));
    ASSERT_TRUE(wait_until([&] { return main().isVisible() && main().isEnabled(); }));
  }
  // A control of a settings page (TRIGGER, VERTICAL, HORIZONTAL...) by its object name.
  template <typename W>
  W* widget(const char* page, const char* name) {
    return child<W>(main().findChild<QWidget*>(page), name);
  }
  // The code typed into the Restricted Access gate and confirmed.
  void enter_access_code(const QString& code = "vrmt2468") {
    main().access_panel()->code_field()->setText(code);
    main().access_panel()->ok_button()->click();
    QApplication::processEvents();
  }
  void run_to_the_end() {
    main().action(MenuAction::Start)->trigger();
    ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 0; }));
    ASSERT_TRUE(wait_until([&] { return main().action(MenuAction::Start)->isEnabled(); }));
  }
  // The run type from the MAIN page (1: a number of events, 3: continuous).
  void set_run_type(int type, int events = 0) {
    choose(main().run_type(), type);
    if (type == 1) main().events_required()->setValue(events);
  }
  // A run of that many events, one per readout.
  void finite_run(int events) {
    main().findChild<QSpinBox*>("MAX_NUM_EVT_PER_BLOCK")->setValue(1);
    set_run_type(1, events);
  }
  // A run of that many events, started and seen to its end.
  void run_events(int events) {
    set_run_type(1, events);
    const int before = st().AcquisitionGeneration.load();
    press_start();
    ASSERT_TRUE(wait_until([&] {
      return st().AcquisitionGeneration.load() != before && st().AcquisitionRunning.load() == 0;
    }));
    ASSERT_TRUE(wait_until([&] { return main().action(MenuAction::Start)->isEnabled(); }));
  }
  // A continuous run, left going once it has some events.
  void run_continuously(int events = 50) {
    set_run_type(3);
    press_start();
    ASSERT_TRUE(wait_until([&] { return st().EventNumber.load() > events; }));
  }
  // The run goes on after a change: it is running and reads new events.
  void expect_run_goes_on(const char* after = "") {
    ASSERT_EQ(st().AcquisitionRunning.load(), 1) << after;
    const int before = st().EventNumber.load();
    ASSERT_TRUE(wait_until([&] { return st().EventNumber.load() > before + 2; }, 30000)) << after;
  }
  void stop_run() {
    main().action(MenuAction::Stop)->trigger();
    ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 0; }));
  }
  // The TCP panel with its server registered on a free port.
  TcpPanel& start_tcp_server() {
    main().action(MenuAction::TcpServer)->trigger();
    TcpPanel& panel = app->tcp_panel();
    panel.port()->setValue(0);
    panel.register_button()->click();
    EXPECT_EQ(VX_VALUE(st().tcp.ServerOnline), 1);
    return panel;
  }
};

// Connected to the 8-channel desktop board before the test; every question answered yes.
struct GuiConnected : GuiTest {
  using GuiTest::GuiTest;
  void SetUp() override {
    dialogs.confirm_answer = true;
    connect_board(1, 0);
  }
};

}  // namespace vx::ui
