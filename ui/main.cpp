#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "app/params.h"
#include "ui/gui_app.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("veltrix");
  QApplication::setApplicationVersion(vx::kSoftwareVersion);
  QCommandLineParser parser;
  parser.setApplicationDescription("Veltrix: acquisition and display for x743 digitizers");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption user_dir("user-dir", "User data directory (logs, run data, setups).", "DIR");
  QCommandLineOption sim_config("sim-config", "Configuration of the simulated board.", "FILE");
  parser.addOptions({user_dir, sim_config});
  parser.process(app);

  vx::ui::GuiOptions options;
  if (parser.isSet(user_dir)) options.user_dir = parser.value(user_dir).toStdString();
  if (parser.isSet(sim_config)) options.sim_config = parser.value(sim_config).toStdString();

  vx::ui::GuiApp gui(options);
  if (!gui.config_errors().empty()) {
    std::fprintf(stderr, "Veltrix cannot start:\n");
    for (const auto& e : gui.config_errors()) std::fprintf(stderr, "  %s\n", e.c_str());
    return 2;
  }
  QObject::connect(&gui, &vx::ui::GuiApp::quit_requested, &app, &QApplication::quit,
                   Qt::QueuedConnection);
  gui.start();
  return app.exec();
}
