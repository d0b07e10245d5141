// Connects the core's bottom layer to the layers above it: what Init_Params, Restore_Params,
// the connection, the acquisition loop and the one-second tick trigger in the board,
// measurement, calibration, display and remote-control code. Every hook of CoreHooks is
// installed here, and only here (remote control's own, from remote/, through this too), so that
// "who runs compute_display?" is answered by reading one function and the front end's call.
//
// Each front end calls Install_CoreHooks once, after creating the state and before any thread
// runs: the desktop application in GuiApp's constructor (ui/gui_app.cpp), the command line in
// Session's (cli/session.cpp), `serve` adding remote control with Install_RemoteControl.
#pragma once

#include <functional>
#include <string>

#include "app/state.h"

namespace vx {

// What a front end brings. Unset members leave the core's own behaviour.
struct FrontEndHooks {
  std::function<void(int model)> select_board_model;  // makes the digitizer for a model
  // A frame of an event, as the run that took it is configured (acquisition thread).
  std::function<void(const RunConfig&, const DecodedEvent&)> compute_display;
  std::function<void()> show_event;            // event counter and time on the main tab
  std::function<void()> recompute_main_graph;  // replaces the core's scaling of the main graph
  std::function<void()> refresh_annotations;
  std::function<void()> on_run_finished;  // before remote control's acknowledgement
  // Remote control from the start: the tick serves the client's requests, runs end with the
  // client's acknowledgement. A registered server installs it otherwise.
  bool remote_control = false;
};

void Install_CoreHooks(State& st, FrontEndHooks front_end = {});

// Remote control added to a wired core: a client's setup is loaded by load_setup (else the
// core's loader, answering a refusal to the client).
void Install_RemoteControl(
    State& st, std::function<std::optional<std::string>(const std::string&)> load_setup = nullptr);

}  // namespace vx
