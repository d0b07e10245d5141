#include "digitizer/digitizer_factory.h"

#include "digitizer/connection_rules.h"
#include "sim/simulated_board.h"

namespace vx {

std::unique_ptr<Digitizer> Make_Digitizer(const sim::SimConfig& config, int model,
                                          const std::filesystem::path& user_path) {
  sim::SimConfig c = config;
  c.model = model == kModelDesktop ? "DT5743" : "V1743";
  return std::make_unique<sim::SimulatedBoard>(std::move(c), user_path);
}

}  // namespace vx
