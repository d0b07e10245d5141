#include <gtest/gtest.h>

#include <fstream>

#include "acquisition/run_control.h"
#include "app/lifecycle.h"
#include "app/timer_tick.h"
#include "digitizer/board_connection.h"
#include "digitizer/connection_rules.h"
#include "digitizer/register_access.h"
#include "digitizer/sync_options.h"
#include "support/packed_value.h"
#include "support/sim_core.h"

namespace vx {
namespace {

using test::SimCore;

TEST(Connection, LinkArgumentFollowsTheLinkType) {
  struct Case {
    int link_type;
    std::int64_t expected;  // recorded link number or PID
  } cases[] = {{0, 3}, {1, 3}, {5, 77}, {7, 77}};
  for (const auto& c : cases) {
    SimCore sim;
    sim.st.board.LinkType = c.link_type;
    sim.st.board.LinkNumber = 3;
    sim.st.board.PIDNumber = 77;
    Open_Device(sim.st);
    const auto open = sim.calls_named("OpenDigitizer2").at(0);
    EXPECT_EQ(open.args[0], c.link_type);
    EXPECT_EQ(open.args[1], c.expected) << c.link_type;
  }
  SimCore sim;
  sim.st.board.LinkType = 6;
  set_text(sim.st.board.IPAddress, "10.1.2.3");
  Open_Device(sim.st);
  EXPECT_EQ(sim.calls_named("OpenDigitizer2").at(0).text, "10.1.2.3");
}

// A failed open, and a register access that fails while the board is set up, as a failed
// open: the connection fails, the handle is closed and no run can start on the half-set board.
TEST(Connection, FailedOpenLeavesNoBlocksAndSkipsTheBoard) {
  for (const bool fail_open : {true, false}) {
    SCOPED_TRACE(fail_open ? "open" : "initialisation");
    sim::SimConfig config;
    config.fault.fail_open = fail_open;
    if (!fail_open) config.fault.fail_register_access = 5;
    SimCore sim("V1743", config);
    sim.connect();
    EXPECT_EQ(sim.st.Board_Connected.load(), 0);
    EXPECT_LT(sim.st.DeviceHandle.load(), 0);
    EXPECT_TRUE(
        sim.core.ui.has_message(MessageTab::Errors, "Error : Device Initialization failed!\n"));
    EXPECT_FALSE(sim.core.ui.has_message(MessageTab::Infos, "End of Hardware Setup."));
    EXPECT_EQ(VX_VALUE(sim.st.sys.RecordLength), 1024) << "defaults loaded all the same";
    EXPECT_EQ(Start_AcquisitionFromUser(sim.st), -1);
    EXPECT_TRUE(sim.core.ui.has_message(
        MessageTab::Errors, "Error : Unable to run acquisition because no board is connected!\n"));
    EXPECT_EQ(sim.st.AcquisitionRunning.load(), 0);
    if (fail_open) {
      EXPECT_EQ(VX_VALUE(sim.st.sys.NbOfSAMBlocks), 0);
      EXPECT_EQ(sim.st.Nb_Of_SAM_Blocks.load(), 0);
      EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Errors,
                                          "CONNECTION TO BOARD FAILED! Error Code : -"));
      EXPECT_EQ(sim.calls.names(), std::vector<std::string>{"OpenDigitizer2"});
    } else {
      EXPECT_EQ(sim.calls.count("CloseDigitizer"), 1u);
    }
  }
}

TEST(Connection, FirstCommunicationErrorSetsBothTimesToTheSameInstant) {
  sim::SimConfig config;
  config.fault.fail_register_access = 200;  // well after the initialisation's accesses
  SimCore sim("V1743", config);
  sim.connect();
  ASSERT_EQ(sim.st.NbOfCommunicatonErrors.load(), 0);
  sim.core.clock.set(500.0);
  std::uint32_t value = 0;
  for (int i = 0; i < 300 && sim.st.NbOfCommunicatonErrors.load() == 0; ++i)
    Read_Register(sim.st, sim.st.DeviceHandle.load(), &value, 0x8124);
  EXPECT_EQ(sim.st.NbOfCommunicatonErrors.load(), 1);
  EXPECT_EQ(sim.st.LastUsbErrorTimer.load(), 500.0);
  EXPECT_EQ(sim.st.CurrentUsbErrorTimer.load(), 500.0);
  EXPECT_EQ(sim.st.Communication_Error.load(), 1);
  EXPECT_EQ(sim.st.StopRequest().load(), 1);
  EXPECT_TRUE(sim.core.ui.has_message(
      MessageTab::Warnings, "ERROR: Communication Read Error 1 at Event: 0, Error code : -"));
  EXPECT_EQ(sim.core.ui.popups().size(), 1u);
}

TEST(Connection, ConnectWhileConnectedClosesWaitsAndReconnects) {
  SimCore sim;
  std::vector<int> models;
  sim.st.hooks.select_board_model = [&](int m) { models.push_back(m); };
  Connect_Board(sim.st, kModelNone);
  EXPECT_TRUE(
      sim.core.ui.has_message(MessageTab::Warnings, "Select a valid board model and try again.\n"));
  EXPECT_TRUE(sim.calls.records().empty());

  Connect_Board(sim.st, kModelVme);
  sim.core.pool.wait_idle();
  ASSERT_EQ(sim.st.Board_Connected.load(), 1);
  TimerCB(sim.st);
  EXPECT_EQ(sim.core.ui.led(Led::Connection), true) << "a connection quicker than a tick is shown";
  EXPECT_EQ(sim.st.ConnectingThreadReleased.load(), 1);
  EXPECT_EQ(sim.st.Connecting.load(), 0);

  sim.calls.clear();
  const double before = sim.core.clock.now();
  Connect_Board(sim.st, kModelVme);
  sim.core.pool.wait_idle();
  EXPECT_EQ(sim.core.clock.now() - before, 1.0) << "one second between close and reopen";
  const auto names = sim.calls.names();
  const auto close = std::find(names.begin(), names.end(), "CloseDigitizer");
  const auto open = std::find(names.begin(), names.end(), "OpenDigitizer2");
  ASSERT_NE(close, names.end());
  ASSERT_NE(open, names.end());
  EXPECT_LT(close - names.begin(), open - names.begin());
  EXPECT_EQ(sim.st.Board_Connected.load(), 1);
  EXPECT_EQ(models, (std::vector<int>{kModelVme, kModelVme}));
  sim.core.ui.loop.process_pending();
  EXPECT_EQ(sim.core.ui.panel_visibility().back(), std::make_pair(Panel::Main, true));

  // A communication error clears Board_Connected and leaves the handle open: connecting
  // again closes it first, and so does the shutdown.
  sim.st.Board_Connected = 0;
  sim.calls.clear();
  Connect_Board(sim.st, kModelVme);
  sim.core.pool.wait_idle();
  EXPECT_EQ(sim.calls.count("CloseDigitizer"), 1u);
  EXPECT_EQ(sim.st.Board_Connected.load(), 1) << "the board opens again";
  sim.st.Board_Connected = 0;
  sim.calls.clear();
  Shutdown_Core(sim.st, sim.st);
  EXPECT_EQ(sim.calls.count("CloseDigitizer"), 1u);
  EXPECT_EQ(sim.st.DeviceHandle.load(), -1);
}

// No file, or one that does not hold a model and a link, offers no last connection.
TEST(Connection, OnlyAFileWithAModelAndALinkOffersTheLastConnection) {
  test::TempDir dir;
  EXPECT_FALSE(Load_LastConnection(dir.path()).has_value());
  const std::pair<const char*, bool> files[] = {{"model 1\r\nlink 6\r\n", true},
                                                {"model -1\nlink 1\n", false},
                                                {"model 1\nlink 99\n", false},
                                                {"link 1\nmodel 1\n", false}};
  for (const auto& [text, valid] : files) {
    std::ofstream(LastConnection_Path(dir.path()), std::ios::trunc) << text;
    EXPECT_EQ(Load_LastConnection(dir.path()).has_value(), valid) << text;
  }
}

TEST(Connection, PanelFieldsAndBaseAddressPerModel) {
  EXPECT_EQ(visible_connection_fields(kModelNone, 1), ConnectionFields{});
  EXPECT_EQ(visible_connection_fields(kModelDesktop, 1),
            (ConnectionFields{true, true, false, false, false}));
  EXPECT_EQ(visible_connection_fields(kModelDesktop, 5),
            (ConnectionFields{false, true, true, false, false}));
  EXPECT_EQ(visible_connection_fields(kModelDesktop, 7), ConnectionFields{});
  EXPECT_EQ(visible_connection_fields(kModelVme, 6),
            (ConnectionFields{false, true, false, true, true}));
  EXPECT_EQ(visible_connection_fields(kModelVme, 7),
            (ConnectionFields{false, true, true, false, true}));
  test::TestCore core;
  Select_BoardModel(core.state, core.state, core.state, kModelVme);
  EXPECT_EQ(VX_VALUE(core.state.board.VMEBaseAddress), kVmeBaseMin);
  Select_BoardModel(core.state, core.state, core.state, kModelDesktop);
  EXPECT_EQ(VX_VALUE(core.state.board.VMEBaseAddress), 0u);
}

TEST(SyncOptions, TitleAndRegistersFollowThePanel) {
  test::SimCore sim;
  sim.connect();
  sim.core.ui.clear();
  Set_SyncOption(sim.st, SyncOption::SyncMode, 1);
  EXPECT_EQ(sim.core.ui.titles().back(), "VELTRIX V1.8.5 : SYNC MODE - MASTER BOARD");
  EXPECT_EQ(VX_VALUE(sim.st.sys.TriggerSource), 3) << "synchronised boards trigger externally";
  Set_SyncOption(sim.st, SyncOption::BoardMasterMode, 0);
  Set_SyncOption(sim.st, SyncOption::SlaveNumber, 4);
  EXPECT_EQ(sim.core.ui.titles().back(), "VELTRIX V1.8.5 : SYNC MODE - SLAVE BOARD N\u00b0 4 ");
  const auto titles = sim.core.ui.titles().size();
  Set_SyncOption(sim.st, SyncOption::VetoInExtraLatency, 33);
  EXPECT_EQ(sim.core.ui.titles().size(), titles) << "the latency leaves the title alone";
  EXPECT_EQ(VX_VALUE(sim.st.sys.VetoInExtraLatency), 33);
  Set_SyncOption(sim.st, SyncOption::SyncMode, 0);
  EXPECT_EQ(sim.core.ui.titles().back(), "VELTRIX V1.8.5");
}

}  // namespace
}  // namespace vx
