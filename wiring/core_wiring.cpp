#include "wiring/core_wiring.h"

#include <utility>

#include "acquisition/acquisition_loop.h"
#include "acquisition/run_control.h"
#include "analysis/main_graph.h"
#include "analysis/time_amplitude.h"
#include "calibration/inl_calibration.h"
#include "digitizer/board_configuration.h"
#include "digitizer/board_connection.h"
#include "remote/tcp_interface.h"

namespace vx {

void Install_CoreHooks(State& st, FrontEndHooks front_end) {
  CoreHooks& h = st.hooks;
  // Settings to the board, after a restore or a connection.
  h.apply_all_board_parameters = [&st] { Set_AllBoardParameters(st); };
  h.apply_enabled_blocks = [&st] { Set_EnabledSAMBlocks(st); };
  h.close_device = [&st] { Close_Device(st); };
  h.select_board_model = std::move(front_end.select_board_model);
  // An INL calibration's run: the sums emptied as its loop starts, the table computed from
  // them as it ends.
  const auto inl_run = [](const RunConfig& cfg) { return cfg.acq.INLCalibrationRunning == 1; };
  Register_EventConsumer(st, {"INL accumulation", EventStage::Calibration,
                              [inl_run](State&, const RunConfig& cfg) {
                                return inl_run(cfg) && Event_HasSamples(cfg);
                              },
                              Accumulate_INLCalibration,
                              [inl_run](State& s, const RunConfig& cfg) {
                                if (inl_run(cfg)) Clear_INLAccumulators(s, s);
                              },
                              [inl_run](State& s, const RunConfig& cfg) {
                                if (inl_run(cfg)) Compute_INLCalibration(s, s, s);
                              }});
  // The display: the front end's, the main graph's scaling the core's unless it has its own.
  if (front_end.recompute_main_graph)
    h.recompute_main_graph = std::move(front_end.recompute_main_graph);
  else
    h.recompute_main_graph = [&st] { Compute_MainGraphParameters(st); };
  h.compute_display = std::move(front_end.compute_display);
  h.show_event = std::move(front_end.show_event);
  h.refresh_annotations = std::move(front_end.refresh_annotations);
  h.on_run_finished = std::move(front_end.on_run_finished);
  if (front_end.remote_control) Install_RemoteControl(st);
}

void Install_RemoteControl(
    State& st, std::function<std::optional<std::string>(const std::string&)> load_setup) {
  if (load_setup) st.hooks.load_setup_from_file = std::move(load_setup);
  // The request service, the client's setup loader unless given, the processed events to the
  // client, and the run-stop acknowledgement chained after the front end's end of run.
  Install_RemoteControlHooks(st);
}

}  // namespace vx
