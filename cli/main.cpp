#include <CLI/CLI.hpp>

#include <string>

#include "app/about.h"
#include "app/params.h"
#include "cli/command_rates.h"
#include "cli/commands.h"
#include "cli/option_checks.h"
#include "cli/session.h"
#include "remote/client_allow_list.h"

int main(int argc, char** argv) {
  CLI::App app{"Veltrix command line: drive an x743 digitizer (here its simulation) headless."};
  app.set_version_flag("--version", std::string("veltrix-cli ") + vx::kSoftwareVersion + "\n" +
                                        vx::kCopyright + " " + vx::kLicenceTerms);
  app.require_subcommand(1);
  // Global options are also taken after the command ("run --events 5 --user-dir DIR").
  app.fallthrough();
  app.failure_message([argc, argv](const CLI::App* failed, const CLI::Error& e) {
    return vx::cli::failure_text(failed, e, argc, argv);
  });
  vx::cli::GlobalOptions global;
  app.add_option("--user-dir", global.user_dir,
                 "User data directory (log, run data, setups); default from VELTRIX_USER_DIR, "
                 "XDG_DATA_HOME or ~/.local/share/Veltrix")
      ->option_text("DIR");
  app.add_option("--sim-config", global.sim_config,
                 "Configuration file of the simulated board (also VELTRIX_SIM_CONFIG)")
      ->option_text("FILE");
  app.add_option("--driver", global.driver, vx::Board_DriversHelp())
      ->type_name("NAME[:KEY=VALUE,...]");
  app.add_option("--model", global.model,
                 "Board model (default: the simulation configuration's, else v1743)")
      ->check(CLI::IsMember({"dt5743", "v1743"}));
  app.add_flag("--yes,-y", global.yes,
               "Answer yes to every confirmation (existing run data is still kept)");
  app.add_flag("--overwrite", global.overwrite,
               "Replace the data files of an existing run directory of the same name");
  app.add_flag("--load-calibration", global.load_calibration,
               "After connecting, read every calibration table from the EEPROMs and use it: "
               "SAM DAC and trigger DAC offsets, pedestals, INL");

  auto* info =
      app.add_subcommand("info", "Connect and print the board, firmware and EEPROM information");
  vx::cli::RunOptions run_options;
  auto* run = app.add_subcommand("run", "Connect, configure and acquire a run");
  vx::cli::add_run_options(*run, run_options);
  auto* demo = app.add_subcommand("demo", "A short run on the simulated board with a summary");

  std::string setup_file;
  auto* setup = app.add_subcommand(
      "setup", "Setup files: save one, check one on the board (load), or print one (show)");
  setup->require_subcommand(1);
  auto* setup_save = setup->add_subcommand(
      "save", "Connect, apply the settings given (as run takes them) and save them to FILE");
  setup_save->add_option("FILE", setup_file, "Setup file")->required()->option_text("FILE");
  vx::cli::RunOptions setup_settings;
  vx::cli::add_run_options(*setup_save, setup_settings);
  auto* setup_load = setup->add_subcommand(
      "load",
      "Check FILE on the connected board and list what it would change; nothing is kept "
      "after the command (give --setup FILE to run, rates, scan, calibrate, demo or serve)");
  setup_load->add_option("FILE", setup_file, "Setup file")->required()->check(CLI::ExistingFile);
  auto* setup_show =
      setup->add_subcommand("show", "Print the settings a setup FILE holds, without a board");
  setup_show->add_option("FILE", setup_file, "Setup file")->required()->check(CLI::ExistingFile);

  vx::cli::ServeOptions serve_options;
  auto* serve = app.add_subcommand("serve", "Connect and obey one remote TCP client until Ctrl-C");
  serve
      ->add_option("--port", serve_options.port,
                   "Listening port, 0..65535 (0: any free one; default 8008)")
      ->check(vx::cli::whole_number(0, 65535, "--port 8008"));
  serve
      ->add_option("--bind", serve_options.bind,
                   "Address to listen on: 127.0.0.1 answers this machine only, 0.0.0.0 every "
                   "network (default 127.0.0.1)")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (vx::Is_ListenAddress(text)) return {};
            return "'" + text + "' is not allowed: give a numeric IPv4 or IPv6 address, for " +
                   "example --bind 0.0.0.0";
          },
          "ADDRESS"));
  serve
      ->add_option("--allow", serve_options.allow,
                   "Accept only these clients (host names or addresses, comma-separated); "
                   "others are refused and logged")
      ->option_text("HOST[,HOST...]");
  serve->add_flag("--commands", serve_options.commands,
                  "Obey the client's start, stop and load-setup commands");
  serve->add_flag("--transmit-data", serve_options.transmit_data,
                  "Send the client every event of the runs, as ASCII data file records");
  vx::cli::add_run_options(*serve, run_options);
  vx::cli::ExportOptions export_options;
  auto* export_run = vx::cli::add_export_command(app, export_options);
  vx::cli::CalibrateOptions calibrate_options;
  vx::cli::add_calibrate_command(app, calibrate_options);
  const auto eeprom = vx::cli::add_eeprom_command(app);
  auto* guide = app.add_subcommand("guide", "Print where the user's guide is");
  const auto inl = vx::cli::add_inl_commands(app);
  const auto rates = vx::cli::add_rates_command(app);
  const auto scan = vx::cli::add_scan_command(app);
  // A setup file drives every command that acquires or calibrates: loaded once the board is
  // connected, before the command's own options, which then override it.
  std::vector<CLI::App*> with_setup = {run, demo, serve, rates->command, scan->command};
  for (auto* action : app.get_subcommand("calibrate")->get_subcommands({}))
    with_setup.push_back(action);
  for (auto* command : with_setup)
    command
        ->add_option("--setup", global.setup,
                     "Setup file loaded after connecting; the command's own options override it")
        ->check(CLI::ExistingFile)
        ->option_text("FILE");
  for (auto* command : {run, demo, serve, rates->command, scan->command}) {
    command
        ->add_option("--web", global.web,
                     "Serve a read-only web monitor of the program on PORT of this machine, or "
                     "on ADDRESS:PORT (then with --web-token-file); port 0 picks a free one")
        ->option_text("[ADDRESS:]PORT");
    command
        ->add_option("--web-token-file", global.web_token_file,
                     "File holding the token every request to the web monitor must carry "
                     "(readable by its owner alone)")
        ->option_text("FILE");
    command
        ->add_option("--web-max-clients", global.web_max_clients,
                     "Connections the web monitor serves at once (more are answered 503)")
        ->check(CLI::Range(1, 1024))
        ->capture_default_str();
  }
  if (const auto code = vx::cli::parse_command_line(app, argc, argv)) return *code;
  if (*guide) return vx::cli::command_guide();
  if (*export_run) return vx::cli::command_export(export_options, global);

  if (*setup_show) return vx::cli::command_setup_show(setup_file);
  vx::cli::Session session(global);
  if (!session.start()) return 2;
  if (*info) return vx::cli::command_info(session);
  if (*run) return vx::cli::command_run(session, run_options);
  if (*demo) return vx::cli::command_demo(session);
  if (*setup_save) {
    // FILE alone saves the setup of a fresh connection as it is.
    std::size_t given = 0;
    for (const auto* option : setup_save->get_options()) given += option->count();
    if (given <= 1) return vx::cli::command_setup_save(session, setup_file);
    return vx::cli::command_setup_save_with(session, setup_file, setup_settings);
  }
  if (*setup_load) return vx::cli::command_setup_load(session, setup_file);
  if (*inl->calibrate || *inl->load) return vx::cli::command_inl(session, *inl);
  if (*eeprom->command) return vx::cli::command_eeprom(session, *eeprom);
  if (*rates->command) return vx::cli::command_rates(session, *rates);
  if (*scan->command) return vx::cli::command_scan(session, *scan);
  if (*serve) return vx::cli::command_serve(session, serve_options, run_options);
  if (*calibrate_options.command) return vx::cli::command_calibrate(session, calibrate_options);
  return 0;
}
