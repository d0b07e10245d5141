// Setup files whose values no front end would write, loaded on a connected board: inputs
// the fuzzer found to break the program, kept here as they were found.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "files/setup_file.h"
#include "support/packed_value.h"
#include "support/sim_core.h"

namespace vx {
namespace {

// Switches that should be 0 or 1 but hold any 32-bit value: the register images take the
// low bits of the weighted sum, as the board register would (and no signed overflow), and
// a file holding them is refused by name.
TEST(SetupHostileValues, HugeSwitchesGiveTheLowBitsOfTheirRegistersAndAreRefused) {
  const std::int32_t values[] = {536870913, -1, 0x7FFFFFFF, INT32_MIN};
  for (const std::int32_t v : values) {
    test::SimCore sim("V1743");
    sim.connect();
    State& st = sim.st;
    SAMBlockParams& blk = st.sam[3];
    blk.ControlRegBit2 = v;
    blk.RateCountersEnabled = v;
    blk.TriggerRegBit2 = v;
    blk.TriggerPolarity[1] = v;
    blk.TriggerGateRegHigh = v;
    blk.PulseSource = v;
    const auto file = sim.dir.path() / "hostile.dat";
    ASSERT_EQ(Write_SetupFile(st, st, file), 1);  // builds the register images
    EXPECT_EQ(Load_SetupFromFile(st, file.string(), 0), -1) << v;
    EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Errors,
                                        "SAMBlockParams[3].TriggerRegBit2 = " + std::to_string(v) +
                                            " is out of range (0 to 1). Nothing was changed.\n"))
        << v;

    // The same sums in 64 bits, cut to the register's width.
    const std::int64_t x = v;
    const auto low16 = [](std::int64_t sum) { return static_cast<std::uint16_t>(sum & 0xFFFF); };
    const SAMBlockParams& got = st.sam[3];
    EXPECT_EQ(VX_VALUE(got.ControlReg),
              low16(got.ControlRegBit0 + 2 * st.sys.Adc20MHzOnOff + 4 * x + 8 * x +
                    16 * got.ChargeModeEnabled + 32 * got.ChargeNoBaseline +
                    64 * got.ControlRegBit6 + 128 * got.ControlRegBit7))
        << v;
    EXPECT_EQ(
        VX_VALUE(got.TriggerReg),
        low16(got.TriggerRegBit0 + 4 * x + 8 * got.CoincidenceAND + 16 * got.TriggerEnable[0] +
              32 * got.TriggerPolarity[0] + 64 * got.TriggerEnable[1] + 128 * x))
        << v;
    EXPECT_EQ(VX_VALUE(got.TriggerGateReg),
              low16(((std::max(got.TriggerGateLength - 2, 0)) & 0x7F) + 128 * x))
        << v;
    EXPECT_EQ(
        VX_VALUE(got.PulseReg),
        static_cast<std::uint8_t>((got.PulseEnable[0] + 2 * got.PulseEnable[1] + 4 * x) & 0xFF))
        << v;
  }
}

}  // namespace
}  // namespace vx
