// The one place that chooses the program's digitizer implementation. There is one today, the
// simulated board, described by its simulation configuration; a library driving real boards
// would be chosen here, with both front ends unchanged.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/digitizer.h"
#include "sim/sim_config.h"

namespace vx {

// A digitizer of the model asked for (kModelDesktop or kModelVme) whose persisted EEPROMs
// live in the user data directory.
std::unique_ptr<Digitizer> Make_Digitizer(const sim::SimConfig& config, int model,
                                          const std::filesystem::path& user_path);

}  // namespace vx
