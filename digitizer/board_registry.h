// The boards the program can drive, by driver name. A driver is made from key=value
// arguments, the way the field's hardware-abstraction libraries name a device
// ("sim:config=bench.cfg,seed=7"); each front end maps its own options onto them and never
// names a driver's types. The simulated board is one registered driver; a library driving
// real boards would be registered here, with both front ends unchanged.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/digitizer.h"

namespace vx {

using DriverArgs = std::map<std::string, std::string>;

// A driver with its arguments read and checked: it makes the boards of one session.
class BoardSource {
 public:
  virtual ~BoardSource() = default;
  // The model (kModelDesktop or kModelVme) the arguments describe, when they name one.
  virtual std::optional<int> described_model() const = 0;
  // A board of the model asked for, whose persisted EEPROMs live in the user data directory.
  // connect_args are the connection's own (the desktop's choice of simulated input); an
  // argument the driver does not know is ignored here, having been offered by the caller.
  virtual std::unique_ptr<Digitizer> make(int model, const std::filesystem::path& user_path,
                                          const DriverArgs& connect_args) const = 0;
};

// A source, or the lines saying what is wrong with the arguments.
struct BoardSourceOpening {
  std::unique_ptr<BoardSource> source;
  std::vector<std::string> errors;
  bool ok() const { return source != nullptr && errors.empty(); }
};

struct BoardDriver {
  std::string_view name;
  std::string_view summary;  // one line: what it drives and the arguments it takes
  BoardSourceOpening (*open)(const DriverArgs& args);
};

inline constexpr std::string_view kDefaultBoardDriver = "sim";

// Every registered driver, the default first.
std::span<const BoardDriver> Board_Drivers();

// "NAME[:KEY=VALUE[,KEY=VALUE...]]" opened: the driver found by name, given its arguments.
BoardSourceOpening Open_BoardDriver(std::string_view spec);
BoardSourceOpening Open_BoardDriver(std::string_view name, const DriverArgs& args);

// The --driver option's help: its form, the default and every driver with its arguments.
std::string Board_DriversHelp();

// The driver a front end's options name: --driver SPEC (else the default driver), with
// --sim-config FILE (else VELTRIX_SIM_CONFIG, when no driver is named) as its config=FILE.
std::string Board_DriverSpec(const std::optional<std::string>& driver,
                             const std::optional<std::string>& sim_config);

}  // namespace vx
