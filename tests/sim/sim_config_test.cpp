#include <gtest/gtest.h>

#include "sim/sim_config.h"
#include "sim_fixture.h"

namespace vx::sim {
namespace {

struct BadConfigCase {
  const char* text;
  const char* message_part;
};

TEST(SimConfigTest, RejectsMalformedInputWithItsLineNumber) {
  const BadConfigCase cases[] = {
      {"seed = 1\nbogus = 3\n", "line 2: unknown key 'bogus'"},
      {"trigger_rate_hz = fast", "invalid value 'fast' for key 'trigger_rate_hz'"},
      {"trigger_rate_hz = -5", "invalid value '-5'"},
      {"noise_mv = 1.5x", "invalid value '1.5x'"},
      {"pulse.rise_ns = 0", "above 0"},
      {"input = square", "pulse, sine or none"},
      {"pulse.polarity = up", "negative or positive"},
      {"model = V1742", "DT5743 or V1743"},
      {"\n\njust words", "line 3: expected 'key = value'"},
      {"seed =", "missing value for key 'seed'"},
      {"ch16.noise_mv = 1", "bad channel number"},
      {"ch3.seed = 4", "unknown per-channel key 'ch3.seed'"},
      {"ch2.pulse.delay_ns = soon", "invalid value 'soon' for key 'ch2.pulse.delay_ns'"},
      {"fault.fail_readout = 0", "at least 1"},
      {"memory_events = 0", "from 1"},
      {"discriminator.after_offset = maybe", "true or false"},
      {"seed = \x1b[2J\x07", "invalid value '\\x1b[2J\\x07' for key 'seed'"},
  };
  for (const auto& c : cases) {
    const auto parsed = parse_sim_config(c.text);
    ASSERT_FALSE(parsed.ok()) << c.text;
    EXPECT_NE(parsed.errors.front().find(c.message_part), std::string::npos)
        << "text: " << c.text << "\nerror: " << parsed.errors.front();
  }
  // Every bad line is reported, not just the first; a huge value is cut in the message.
  const auto parsed = parse_sim_config("a = 1\nseed = 2\nb = 3 # comment\n");
  ASSERT_EQ(parsed.errors.size(), 2u);
  EXPECT_NE(parsed.errors[0].find("line 1"), std::string::npos);
  EXPECT_NE(parsed.errors[1].find("line 3"), std::string::npos);
  const auto huge = parse_sim_config("seed = " + std::string(10 << 20, '7') + "x");
  ASSERT_FALSE(huge.ok());
  EXPECT_LT(huge.errors.front().size(), 200u);
  EXPECT_NE(huge.errors.front().find("7777..."), std::string::npos);
}

TEST(SimConfigTest, GlobalKeysSetEveryChannelAndOverridesWinWhereverWritten) {
  const auto parsed = parse_sim_config(
      "# a comment line\r\n"
      "ch3.pulse.delay_ns = 52.5   # before the global key on purpose\r\n"
      "pulse.delay_ns = 40\r\n"
      "seed = 0x10\r\n"
      "ch15.input = sine\n"
      "external_rate_hz = 12\n"
      "fault.stop_after_events = 0\n");
  ASSERT_TRUE(parsed.ok()) << parsed.errors.front();
  const SimConfig& c = parsed.config;
  EXPECT_EQ(c.seed, 16u);
  EXPECT_DOUBLE_EQ(c.channel[0].pulse_delay_ns, 40.0);
  EXPECT_DOUBLE_EQ(c.channel[3].pulse_delay_ns, 52.5);
  EXPECT_EQ(c.channel[15].input, InputKind::kSine);
  EXPECT_EQ(c.channel[14].input, InputKind::kPulse);
  EXPECT_DOUBLE_EQ(c.external_rate(), 12.0);
  ASSERT_TRUE(c.fault.stop_after_events.has_value());
  EXPECT_EQ(*c.fault.stop_after_events, 0u);
  // Without its own key the external rate follows the trigger rate.
  EXPECT_DOUBLE_EQ(parse_sim_config("trigger_rate_hz = 250").config.external_rate(), 250.0);
}

TEST(SimConfigTest, AFolderIsNoConfiguration) {
  testing::ScratchDir dir;
  const auto folder = load_sim_config(dir.path());
  ASSERT_FALSE(folder.ok()) << "a folder is no empty configuration";
  EXPECT_NE(folder.errors.front().find("is a folder"), std::string::npos);
}

}  // namespace
}  // namespace vx::sim
