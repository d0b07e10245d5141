#include <gtest/gtest.h>

#include <fstream>

#include "digitizer/board_registry.h"
#include "digitizer/connection_rules.h"
#include "sim/simulated_board.h"
#include "support/test_state.h"

namespace vx {
namespace {

// What a driver specification opens to: the arguments' problems named by the argument, a
// key given both in the file and as an argument taken from the argument.
TEST(BoardRegistry, ASpecificationOpensItsDriverOrSaysWhatIsWrongWithIt) {
  test::TempDir dir;
  const auto file = dir.path() / "bench.cfg";
  std::ofstream(file) << "model = DT5743\ntrigger_rate_hz = 50\n";
  const std::string config = "config=" + file.string();
  struct Case {
    std::string spec;
    std::string error;  // empty: opens
    int model;          // the model described
    double rate_hz;     // the board's configured trigger rate
  } cases[] = {
      {"sim", "", kModelVme, 1000.0},
      {"sim:" + config, "", kModelDesktop, 50.0},
      {"sim: " + config + " , trigger_rate_hz = 7", "", kModelDesktop, 7.0},
      {"sim:model=DT5743", "", kModelDesktop, 1000.0},
      {"sim:trigger_rate_hz=fast", "argument 'trigger_rate_hz=fast': invalid value", 0, 0},
      {"sim:colour=blue", "argument 'colour=blue': unknown key 'colour'", 0, 0},
      {"sim:seed", "argument 'seed' is not KEY=VALUE", 0, 0},
      {"sim:config=" + (dir.path() / "none.cfg").string(), "cannot open simulator configuration", 0,
       0},
      {"vme-bridge:link=0", "no board driver 'vme-bridge' (there is sim)", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.spec);
    const auto opened = Open_BoardDriver(c.spec);
    std::string errors;
    for (const auto& e : opened.errors) errors += e + "\n";
    if (!c.error.empty()) {
      EXPECT_FALSE(opened.ok());
      EXPECT_NE(errors.find(c.error), std::string::npos) << errors;
      continue;
    }
    ASSERT_TRUE(opened.ok()) << errors;
    EXPECT_EQ(opened.source->described_model(), c.model);
    const auto board = opened.source->make(c.model, dir.path(), {});
    const auto& sim = dynamic_cast<const sim::SimulatedBoard&>(*board);
    EXPECT_EQ(sim.config().trigger_rate_hz, c.rate_hz);
  }
}

// The desktop's choice of simulated input reaches the board made for the connection, and what
// the board says its inputs carry (the no-trigger explanation's source) follows it.
TEST(BoardRegistry, AConnectionsOwnArgumentsShapeItsBoard) {
  test::TempDir dir;
  const auto source = std::move(Open_BoardDriver("sim").source);
  ASSERT_NE(source, nullptr);
  struct Case {
    DriverArgs args;
    InputSignal::Kind kind;
  } cases[] = {{{}, InputSignal::Kind::kPulse},
               {{{"inputs", "sine"}}, InputSignal::Kind::kSine},
               {{{"inputs", "none"}}, InputSignal::Kind::kNone}};
  for (const auto& c : cases) {
    const auto board = source->make(kModelDesktop, dir.path(), c.args);
    for (const auto& in : board->Known_Inputs()) EXPECT_EQ(in.kind, c.kind);
  }
  EXPECT_EQ(Open_BoardDriver("sim:discriminator.after_offset=true")
                .source->make(kModelVme, dir.path(), {})
                ->Known_Inputs()[0]
                .kind,
            InputSignal::Kind::kUnknown)
      << "a threshold alone says nothing when the discriminators see the offset signal";
}

}  // namespace
}  // namespace vx
