#include "wiring/core_wiring.h"

#include "acquisition/run_control.h"
#include "analysis/main_graph.h"
#include "analysis/rate_measurement.h"
#include "analysis/time_amplitude.h"
#include "calibration/inl_calibration.h"
#include "digitizer/board_configuration.h"
#include "digitizer/board_connection.h"

namespace vx {

void Install_CoreHooks(State& st) {
  CoreHooks& h = st.hooks;
  h.apply_all_board_parameters = [&st] { Set_AllBoardParameters(st); };
  h.apply_enabled_blocks = [&st] { Set_EnabledSAMBlocks(st); };
  // A front end with a graph of its own may replace this with its own recomputation.
  h.recompute_main_graph = [&st] { Compute_MainGraphParameters(st); };
  h.init_measurement_results = [&st] { Init_MeasurementResults(st); };
  h.close_device = [&st] { Close_Device(st); };
  Install_INLCalibrationHooks(st);
  h.update_rate_measurement = [&st](int block) { Update_RateMeasurement(st, block); };
}

}  // namespace vx
