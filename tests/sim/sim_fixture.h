// Helpers for the simulated-board tests: an opened board with its readout buffer and event record.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/digitizer.h"
#include "sim/sim_config.h"
#include "sim/simulated_board.h"
#include "support/scripted_front_end.h"
#include "support/test_state.h"

namespace vx::sim::testing {

// The tests' own clock (from 1000 s, moved by hand) and temporary directory.
using ManualClock = vx::test::FakeClock;
using ScratchDir = vx::test::TempDir;

inline SimConfig config_from(const std::string& text) {
  const auto parsed = parse_sim_config(text);
  EXPECT_TRUE(parsed.ok()) << (parsed.errors.empty() ? "" : parsed.errors.front());
  return parsed.config;
}

// A board opened over the optical link, with a readout buffer and an event record.
struct OpenBoard {
  explicit OpenBoard(const std::string& config_text,
                     std::filesystem::path dir = std::filesystem::path())
      : clock(std::make_shared<ManualClock>()) {
    const auto where = dir.empty() ? scratch.path() : dir;
    board = std::make_unique<SimulatedBoard>(config_from(config_text), where, clock);
    EXPECT_EQ(board->OpenDigitizer2(kLinkOptical, LinkArg{0u}, 0, 0, &handle), 0);
    EXPECT_EQ(board->SetMaxNumEventsBLT(handle, 100), 0);
    EXPECT_EQ(board->MallocReadoutBuffer(handle, &buffer), 0);
    EXPECT_EQ(board->AllocateEvent(handle, &event), 0);
  }

  // Reads once and decodes every event of the readout; returns the number read or -1.
  int read_events(const std::function<void(const Event743&)>& visit) {
    if (board->ReadData(handle, 0, &buffer) != 0) return -1;
    std::uint32_t n = 0;
    if (board->GetNumEvents(handle, buffer, &n) != 0) return -1;
    for (std::uint32_t i = 0; i < n; ++i) {
      EventInfo info;
      const char* ptr = nullptr;
      if (board->GetEventInfo(handle, buffer, static_cast<std::int32_t>(i), &info, &ptr) != 0 ||
          board->DecodeEvent(handle, ptr, &event) != 0) {
        return -1;
      }
      visit(*event);
    }
    return static_cast<int>(n);
  }

  // Reads until the board holds no more events; returns how many were read.
  int read_all(const std::function<void(const Event743&)>& visit = [](const Event743&) {}) {
    int total = 0;
    for (int n = read_events(visit); n > 0; n = read_events(visit)) total += n;
    return total;
  }

  // One software-triggered event, decoded.
  const Event743& software_event() {
    EXPECT_EQ(board->SendSWtrigger(handle), 0);
    EXPECT_EQ(read_events([](const Event743&) {}), 1);
    return *event;
  }

  ScratchDir scratch;
  std::shared_ptr<ManualClock> clock;
  std::unique_ptr<SimulatedBoard> board;
  int handle = -1;
  ReadoutBuffer buffer;
  Event743* event = nullptr;
};

inline std::uint32_t offset_code(double volts) {
  return static_cast<std::uint32_t>((volts + 1.25) / 2.5 * 65535.0);
}
inline std::uint32_t threshold_code(double volts) {
  return static_cast<std::uint32_t>((1.25 - volts) / 2.5 * 65535.0);
}

}  // namespace vx::sim::testing
