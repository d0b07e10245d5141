// A core state connected to a simulated board once per fuzzing process, with the records
// as the connection left them kept aside so that every input starts from them.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "app/state.h"
#include "digitizer/board_connection.h"
#include "platform/null_front_end.h"
#include "sim/simulated_board.h"
#include "wiring/core_wiring.h"

namespace vx::fuzzing {

struct Records {
  SystemParams sys;
  AcqParams acq;
  std::array<SAMBlockParams, kMaxSamBlocks> sam;
  GuiParams gui;

  static Records of(const State& st) { return {st.sys, st.acq, st.sam, st.gui}; }
  void restore(State& st) const {
    st.sys = sys;
    st.acq = acq;
    st.sam = sam;
    st.gui = gui;
  }
  bool operator==(const Records& o) const {
    return std::memcmp(&sys, &o.sys, sizeof sys) == 0 &&
           std::memcmp(&acq, &o.acq, sizeof acq) == 0 &&
           std::memcmp(&sam, &o.sam, sizeof sam) == 0 && std::memcmp(&gui, &o.gui, sizeof gui) == 0;
  }
};

struct ConnectedCore {
  explicit ConnectedCore(const char* name) {
    dir = std::filesystem::temp_directory_path() /
          ("veltrix-fuzz-" + std::string(name) + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    st.UserPath = dir;
    st.log.file = "/dev/null";
    sim::SimConfig config;
    config.register_access_us = 0.0;
    board = std::make_unique<sim::SimulatedBoard>(config, dir);
    st.digitizer = board.get();
    Install_CoreHooks(st);
    st.board.LinkType = 1;
    st.board.VMEBaseAddress = config.vme_base_address;
    Sam_Init(st);
    if (st.DeviceHandle < 0) std::abort();
    initial = Records::of(st);
  }
  NullFrontEnd ui;
  SystemClock clock;
  ThreadPool pool{1};
  State st{ui, clock, pool};
  std::unique_ptr<sim::SimulatedBoard> board;
  std::filesystem::path dir;
  Records initial;
};

}  // namespace vx::fuzzing
