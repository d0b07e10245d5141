// A core connected to a simulated board for the soaks: a front end that keeps nothing
// (so that the front end's own records do not count as the program's memory), unless
// the soak wants the messages.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/lifecycle.h"
#include "app/state.h"
#include "digitizer/board_connection.h"
#include "platform/null_front_end.h"
#include "sim/simulated_board.h"
#include "wiring/core_wiring.h"

namespace vx::soak {

// The process's resident memory (VmRSS), kB; -1 when it cannot be read.
inline long resident_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// Keeps the messages in order when asked to; answers every question with yes.
class SoakFrontEnd final : public NullFrontEnd {
 public:
  struct Message {
    MessageKind kind;
    std::string text;
  };
  explicit SoakFrontEnd(bool keep) : keep_(keep) {}
  void append_message(MessageTab, MessageKind kind, const std::string& text) override {
    if (!keep_) return;
    std::lock_guard lock(mutex_);
    messages_.push_back({kind, text});
  }
  std::vector<Message> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  bool keep_;
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
};

struct SoakCore {
  SoakCore(const std::string& model, sim::SimConfig config, const std::string& name,
           bool keep_messages = false)
      : ui(keep_messages) {
    dir = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    config.model = model;
    Start_Core(st, st, dir);
    board = std::make_unique<sim::SimulatedBoard>(config, dir);
    st.digitizer = board.get();
    Install_CoreHooks(st);
    st.board.LinkType = model == "DT5743" ? 0 : 1;
    st.board.VMEBaseAddress = model == "DT5743" ? 0 : config.vme_base_address;
    Sam_Init(st);
  }
  ~SoakCore() {
    pool.wait_idle();
    Close_Device(st);
    st.digitizer = nullptr;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  bool connected() const { return st.DeviceHandle.load() >= 0; }

  SoakFrontEnd ui;
  SystemClock clock;
  ThreadPool pool;
  State st{ui, clock, pool};
  std::unique_ptr<sim::SimulatedBoard> board;
  std::filesystem::path dir;
};

}  // namespace vx::soak
