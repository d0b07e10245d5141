#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>
#include <string>

#include "app/lifecycle.h"
#include "app/message_log.h"
#include "app/params.h"
#include "app/user_path.h"
#include "cli/headless_front_end.h"
#include "platform/clock.h"
#include "platform/thread_pool.h"

namespace {

struct GlobalOptions {
  std::optional<std::string> user_dir;
  bool yes = false;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Veltrix command line: drive an x743 digitizer (or its simulation) headless."};
  app.set_version_flag("--version", std::string("veltrix-cli ") + vx::kSoftwareVersion);
  app.require_subcommand(1);
  GlobalOptions opts;
  app.add_option("--user-dir", opts.user_dir,
                 "User data directory (log, run data, setups); default from VELTRIX_USER_DIR, "
                 "XDG_DATA_HOME or ~/.local/share/Veltrix");
  app.add_flag("--yes,-y", opts.yes, "Answer yes to every confirmation");

  auto* demo = app.add_subcommand("demo", "Start the core and show where it keeps its files");
  CLI11_PARSE(app, argc, argv);

  vx::cli::HeadlessFrontEnd ui;
  ui.assume_yes = opts.yes;
  vx::SystemClock clock;
  vx::ThreadPool pool;
  vx::State st(ui, clock, pool);
  const auto user_path =
      vx::Resolve_UserPath(vx::read_user_path_environment(opts.user_dir, vx::executable_directory()));
  vx::Start_Core(st, user_path);

  int rc = 0;
  if (*demo) {
    vx::Write_InfoMessage(st, "User data directory: '" + user_path.string() + "'.\n", vx::kInfo);
    vx::Write_InfoMessage(st, "Log file: '" + st.FileForSavingLogFile.string() + "'.\n", vx::kInfo);
  }
  vx::Shutdown_Core(st);
  return rc;
}
