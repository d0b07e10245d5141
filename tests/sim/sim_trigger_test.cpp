#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_fixture.h"

namespace vx::sim {
namespace {

using testing::OpenBoard;
using testing::threshold_code;

struct SelfTriggerCase {
  const char* name;
  const char* config;
  std::vector<int> enabled;  // channels with self trigger
  double threshold_v;
  int polarity;
  int pair_logic;
  int board_logic;
  // Events in 0.1 s: 100 +- 35 at 1 kHz, 790 to 801 on noise over the 125 us dead time.
  int fewest, most;
};

TEST(SimTriggerTest, SelfTriggersFollowThresholdsPolarityAndCoincidence) {
  const SelfTriggerCase cases[] = {
      {"below baseline", "", {0}, -0.05, 1, 0, 0, 65, 135},
      {"trailing edge fires too", "", {0}, -0.05, 0, 0, 0, 65, 135},
      {"wrong side", "", {0}, 0.05, 1, 0, 0, 0, 0},
      {"beyond the pulse", "", {0}, -0.25, 1, 0, 0, 0, 0},
      {"positive pulse", "pulse.polarity = positive", {0}, 0.05, 0, 0, 0, 65, 135},
      {"pair AND, partner silent", "ch1.input = none", {0, 1}, -0.05, 1, 1, 0, 0, 0},
      {"pair OR, partner silent", "ch1.input = none", {0, 1}, -0.05, 1, 0, 0, 65, 135},
      {"pair AND, both pulsed", "", {0, 1}, -0.05, 1, 1, 0, 65, 135},
      {"board AND, one block silent", "ch2.input = none", {0, 2}, -0.05, 1, 0, 1, 0, 0},
      {"board OR, one block silent", "ch2.input = none", {0, 2}, -0.05, 1, 0, 0, 65, 135},
      {"majority of 2 among 3", "ch4.input = none", {0, 2, 4}, -0.05, 1, 0, 2, 65, 135},
      {"threshold in the noise", "input = none", {0}, 0.0, 1, 0, 0, 790, 801},
  };
  for (const auto& c : cases) {
    OpenBoard b(std::string("register_access_us = 0\nmemory_events = 2000\n") + c.config);
    for (int ch : c.enabled) {
      ASSERT_EQ(b.board->SetChannelSelfTrigger(b.handle, kTrgModeAcqOnly, 1u << ch), 0);
      // The discriminators' own offsets are a few mV: far from these thresholds.
      ASSERT_EQ(b.board->SetChannelTriggerThreshold(b.handle, ch, threshold_code(c.threshold_v)),
                0);
      ASSERT_EQ(b.board->SetTriggerPolarity(b.handle, ch, c.polarity), 0);
    }
    for (std::uint32_t pair = 0; pair < 16; pair += 2) {
      ASSERT_EQ(b.board->SetChannelPairTriggerLogic(b.handle, pair, pair + 1, c.pair_logic, 50), 0);
    }
    const int majority = c.board_logic == kLogicMajority ? 1 : 0;
    ASSERT_EQ(b.board->SetTriggerLogic(b.handle, c.board_logic, majority), 0);
    ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
    b.clock->advance(0.1);
    ASSERT_EQ(b.board->SWStopAcquisition(b.handle), 0);
    const int events = b.read_all();
    EXPECT_GE(events, c.fewest) << c.name;
    EXPECT_LE(events, c.most) << c.name;
  }
}

TEST(SimTriggerTest, TriggerCountVetoLimitsTheCountingRate) {
  OpenBoard b("input = none\nregister_access_us = 20");
  const double offset = b.board->imperfections().discriminator_offset_v[0];
  ASSERT_EQ(b.board->SetChannelTriggerThreshold(b.handle, 0, threshold_code(-offset)), 0);
  const auto count = [&] {
    EXPECT_EQ(b.board->WriteRegister(b.handle, 0x8020, 1), 0);
    std::uint32_t v = 0;
    EXPECT_EQ(b.board->ReadRegister(b.handle, 0x106C, &v), 0);
    return v & 0xFFFF;
  };
  const std::uint32_t free_running = count();
  ASSERT_EQ(b.board->SetSAMTriggerCountVetoParam(b.handle, 0, 1, 1000), 0);
  const std::uint32_t vetoed = count();
  EXPECT_GT(free_running, 2000u);
  EXPECT_NEAR(vetoed, 20.0, 8.0);  // at most one count per microsecond over 20 us
}

TEST(SimTriggerTest, EventsCarryTheHitsAndTimeSinceThePreviousEvent) {
  OpenBoard b(
      "register_access_us = 0\nnoise_mv = 0.5\ntrigger_rate_hz = 5000\n"
      "memory_events = 1000");
  ASSERT_EQ(b.board->SetChannelTriggerThreshold(b.handle, 3, threshold_code(-0.05)), 0);
  ASSERT_EQ(b.board->SetChannelTriggerThreshold(b.handle, 2, threshold_code(0.02)), 0);
  ASSERT_EQ(b.board->SetExtTriggerInputMode(b.handle, kTrgModeAcqOnly), 0);
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  b.clock->advance(0.05);
  ASSERT_EQ(b.board->SWStopAcquisition(b.handle), 0);
  double hits = 0, micros = 0, other_hits = 0;
  b.read_all([&](const Event743& ev) {
    hits += ev.DataGroup[1].TriggerCount[1];
    micros += ev.DataGroup[1].TimeCount[1];
    other_hits += ev.DataGroup[1].TriggerCount[0];  // threshold at +20 mV: never
  });
  ASSERT_GT(micros, 40000.0);
  EXPECT_NEAR(hits / micros * 1e6, 5000.0, 600.0);
  EXPECT_EQ(other_hits, 0.0);
}

}  // namespace
}  // namespace vx::sim
