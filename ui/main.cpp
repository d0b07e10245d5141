#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/about.h"
#include "app/params.h"
#include "app/shipped_files.h"
#include "app/user_path.h"
#include "digitizer/board_registry.h"
#include "ui/gui_app.h"

namespace {

struct CommandLine {
  QCommandLineParser parser;
  // Qt's own version option prints the version alone; this one adds the copyright and licence.
  QCommandLineOption version{{"v", "version"}, "Displays version information."};
  QCommandLineOption user_dir{"user-dir", "User data directory (logs, run data, setups).", "DIR"};
  QCommandLineOption sim_config{"sim-config", "Configuration of the simulated board.", "FILE"};
  QCommandLineOption driver{"driver", QString::fromStdString(vx::Board_DriversHelp()),
                            "NAME[:KEY=VALUE,...]"};
  QCommandLineOption web{"web",
                         "Serve a read-only web monitor on PORT of this machine, or on "
                         "ADDRESS:PORT (then with --web-token-file).",
                         "[ADDRESS:]PORT"};
  QCommandLineOption web_token_file{
      "web-token-file", "File holding the web monitor's token (readable by its owner alone).",
      "FILE"};
  QCommandLineOption web_max_clients{
      "web-max-clients", "Connections the web monitor serves at once (default 32).", "N"};

  explicit CommandLine(QCoreApplication& app) {
    QCoreApplication::setApplicationName("veltrix");
    QCoreApplication::setApplicationVersion(vx::kSoftwareVersion);
    parser.setApplicationDescription("Veltrix: acquisition and display for x743 digitizers");
    parser.addHelpOption();
    parser.addOption(version);
    parser.addOptions({user_dir, sim_config, driver, web, web_token_file, web_max_clients});
    parser.process(app);
    if (parser.isSet(version)) {
      std::printf("veltrix %s\n%s %s\n", vx::kSoftwareVersion, vx::kCopyright, vx::kLicenceTerms);
      std::exit(0);
    }
  }
};

// --help and --version print and exit before any window exists, so that they also work
// without a display (a terminal on the lab's computer, the manual-page generator).
bool only_prints(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "-h" || a == "-?" || a == "--help" || a == "--help-all" || a == "-v" ||
        a == "--version")
      return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (only_prints(argc, argv)) {
    QCoreApplication app(argc, argv);
    CommandLine command_line(app);
    return 0;
  }
  QApplication app(argc, argv);
  CommandLine command_line(app);
  QGuiApplication::setDesktopFileName("veltrix");
  if (const auto icon = vx::find_app_icon(vx::executable_directory()); !icon.empty())
    QApplication::setWindowIcon(QIcon(QString::fromStdString(icon.string())));

  vx::ui::GuiOptions options;
  if (command_line.parser.isSet(command_line.user_dir))
    options.user_dir = command_line.parser.value(command_line.user_dir).toStdString();
  if (command_line.parser.isSet(command_line.sim_config))
    options.sim_config = command_line.parser.value(command_line.sim_config).toStdString();
  if (command_line.parser.isSet(command_line.driver))
    options.driver = command_line.parser.value(command_line.driver).toStdString();

  if (command_line.parser.isSet(command_line.web))
    options.web = command_line.parser.value(command_line.web).toStdString();
  if (command_line.parser.isSet(command_line.web_token_file))
    options.web_token_file = command_line.parser.value(command_line.web_token_file).toStdString();
  if (command_line.parser.isSet(command_line.web_max_clients)) {
    bool number = false;
    options.web_max_clients =
        command_line.parser.value(command_line.web_max_clients).toInt(&number);
    if (!number) options.web_max_clients = 0;  // refused by the monitor, with the range
  }

  vx::ui::GuiApp gui(options);
  if (!gui.config_errors().empty()) {
    std::fprintf(stderr, "Veltrix cannot start:\n");
    for (const auto& e : gui.config_errors()) std::fprintf(stderr, "  %s\n", e.c_str());
    return 2;
  }
  return gui.exec();
}
