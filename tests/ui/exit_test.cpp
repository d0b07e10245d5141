// Exit ends the program: a fresh process that connects the board and exits is gone, every
// time, whatever windows are still open.
#include <QMessageBox>
#include <QTimer>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "gui_fixture.h"

extern char** environ;

namespace vx::ui {

// The child's whole life: the desktop board connected, then Exit, every question answered yes.
// Returns what the event loop returned, or 3 when a question came back after its yes.
int run_exit_child(const char* user_dir) {
  GuiOptions options;
  options.user_dir = user_dir;
  GuiApp gui(options);
  int exit_questions = 0;
  int step = 0;
  QTimer script;
  QObject::connect(&script, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      if (box->text().contains("Software will exit") && ++exit_questions > 1) std::_Exit(3);
      if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
        yes->click();
      } else {
        box->close();
      }
      return;
    }
    State& st = gui.state();
    ConnectionPanel& panel = gui.connection_panel();
    if (step == 0) {
      panel.model_box()->setCurrentIndex(1);
      panel.link_box()->setCurrentIndex(0);
      panel.connect_button()->click();
      step = 1;
    } else if (step == 1 && st.Board_Connected.load() == 1 && st.Connecting.load() == 0 &&
               st.ConnectingThreadReleased.load() == 1) {
      gui.main_window().action(MenuAction::Exit)->trigger();
      step = 2;
    }
  });
  script.start(20);
  return gui.exec();
}

namespace {

TEST(GuiExit, ConnectThenExitEndsEveryFreshProcess) {
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE(i);
    test::TempDir home;
    const std::string dir = home.path().string();
    char self[] = "test_gui";
    char child[] = "--exit-child";
    char* argv[] = {self, child, const_cast<char*>(dir.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ), 0);
    int status = 0;
    bool ended = false;
    for (int waited_ms = 0; waited_ms < 60000 * kWaitScale && !ended; waited_ms += 20) {
      ended = ::waitpid(pid, &status, WNOHANG) == pid;
      if (!ended) ::usleep(20000);
    }
    if (!ended) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(ended) << "the program did not end";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    ASSERT_EQ(WEXITSTATUS(status), 0) << "3: the exit question came back after its yes";
  }
}

}  // namespace
}  // namespace vx::ui
