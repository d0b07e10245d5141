#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>

#include "acquisition/run_control.h"
#include "app/record_loan.h"
#include "app/timer_tick.h"
#include "digitizer/connection_rules.h"
#include "files/setup_file.h"
#include "remote/run_data_transmission.h"
#include "remote/tcp_interface.h"
#include "support/packed_value.h"
#include "support/sim_core.h"
#include "support/tcp_client.h"

namespace vx {
namespace {

using Client = test::TcpClient;

struct RemoteFixture : ::testing::Test {
  RemoteFixture() : sim("DT5743") {
    sim.connect();
    st.remote.ListenAddress = "127.0.0.1";
    st.tcp.ServerPort = 0;
    Register_TCPIP_Server(st);
  }
  ~RemoteFixture() override {
    if (st.AcquisitionRunning.load() == 1) Stop_AcquisitionFromUser(st);
    UnRegister_TCPIP_Server(st, st);
  }

  // Runs the user-interface loop, where the server's events are handled, until pred holds.
  bool pump_until(const std::function<bool()>& pred, double seconds = 5.0) {
    return sim.core.ui.loop.run_until(pred, seconds);
  }
  bool box_has(const std::string& text) const {
    return st.remote.ReceivedMessages.find(text) != std::string::npos;
  }
  bool logged(const std::string& text) const {
    return sim.core.ui.has_message(MessageTab::Infos, text);
  }
  std::unique_ptr<Client> connect_client() {
    auto client = std::make_unique<Client>(st.tcp.ServerPort);
    EXPECT_TRUE(pump_until([&] { return st.tcp.ClientConnected == 1; }));
    return client;
  }
  // With a tick, as a running server has: the request flags then say what waits.
  void enable_commands() {
    Set_TCPCommandsEnabled(st, st, true);
    TimerCB(st);
  }
  // Sends one command and waits until the server has queued it.
  void send(Client& client, const std::string& text) {
    const std::size_t queued = st.remote.requests.size();
    client.send(text);
    ASSERT_TRUE(pump_until([&] { return st.remote.requests.size() > queued; })) << text;
  }
  // Sends one command, and the tick serves it.
  void serve(Client& client, const std::string& text) {
    send(client, text);
    TimerCB(st);
  }
  bool received(Client& client, const std::string& text, double seconds = 10.0) {
    return pump_until([&] { return client.poll() && client.received == text; }, seconds);
  }
  // Stops the remote run and waits for its RUN_STOPPED (the client has received before).
  void stop_run(Client& client, const std::string& before) {
    serve(client, "STOP");
    ASSERT_TRUE(received(client, before + "RUN_STOPPED")) << client.received;
  }

  test::SimCore sim;
  State& st = sim.st;
};

TEST_F(RemoteFixture, RemoteStartRunsOnTheNextTickAndStopIsAcknowledged) {
  EXPECT_TRUE(logged("TCP/IP Server registered successfully!\n"));
  st.StopRequest().store(0);
  enable_commands();
  EXPECT_EQ(st.StopRequest().load(), 0) << "the stop request the record starts with finds no run";
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteStopRequest), 0);

  auto client = connect_client();
  send(*client, "RUN_START00000042");
  EXPECT_TRUE(logged("Received Start Command from TCP Client with runNumber 42."));
  EXPECT_EQ(st.AcquisitionRunning.load(), 0) << "only the tick starts the run";
  // A remote start never waits for a dialog: its run goes into the settings' data directory.
  st.acq.SaveDataInFile = 1;
  st.acq.DataFileType = 1;
  st.acq.PopupForFileName = 1;
  sim.core.ui.directory_answers = {sim.dir.path()};
  const int generation = st.AcquisitionGeneration.load();
  TimerCB(st);
  EXPECT_EQ(st.AcquisitionGeneration.load(), generation + 1);
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteStartRequest), 0);
  EXPECT_EQ(sim.core.ui.directory_answers.size(), 1u) << "no directory dialog";
  const std::filesystem::path run_dir(std::string(st.acq.RunDirectory));
  EXPECT_EQ(run_dir.parent_path(), std::filesystem::path(std::string(st.acq.DataDirectory)));
  EXPECT_NE(run_dir.string().find("_runTcp42"), std::string::npos) << run_dir;
  ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() > 3; }, 10.0));

  serve(*client, "RUN_START00000042");
  EXPECT_TRUE(sim.core.ui.has_message(
      MessageTab::Warnings,
      "Acquisition already running. Unable to Start Acquisition with runNumber 42. "
      "Acquisition must be stopped before."));
  EXPECT_EQ(st.AcquisitionGeneration.load(), generation + 1) << "no second run";
  EXPECT_EQ(st.AcquisitionRunning.load(), 1) << "the run goes on";

  const std::string refused = "RUN_START_REFUSED:a run is already going on\n";
  stop_run(*client, refused);
  EXPECT_TRUE(logged("Received Stop Command from TCP Client."));

  // The run directory exists now: it is replaced only with the front end's own yes, and a
  // refusal tells the client why.
  sim.core.ui.confirm_answers = {false};
  serve(*client, "RUN_START00000042");
  EXPECT_EQ(st.AcquisitionRunning.load(), 0);
  EXPECT_TRUE(sim.core.ui.confirm_answers.empty()) << "asked the front end";
  const std::string refusal =
      "RUN_START_REFUSED:the run directory '" + run_dir.string() + "' already exists\n";
  EXPECT_TRUE(received(*client, refused + "RUN_STOPPED" + refusal, 5.0)) << client->received;
}

// Commands are carried out in the order they arrived: what follows a stop waits for the end
// of the run it stops (and its RUN_STOPPED); a stop after a start stops that start's run.
// The stop request the record starts with, and a stop that arrives while no run is on, reach
// no run; a settings change restarting a remote run is not announced as its end.
TEST_F(RemoteFixture, CommandsAreCarriedOutInTheOrderTheyArrived) {
  Set_TCPCommandsEnabled(st, st, true);
  auto client = connect_client();
  send(*client, "RUN_START00000001");
  TimerCB(st);  // the server's first tick: the record's stop request, then the start
  ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() > 20; }, 10.0));
  EXPECT_EQ(st.AcquisitionRunning.load(), 1);
  const int generation = st.AcquisitionGeneration.load() + 1;
  Set_RunDuration(st, 0, 0, 5, 0);
  EXPECT_EQ(st.AcquisitionGeneration.load(), generation) << "restarted";
  pump_until([] { return false; }, 0.3);
  client->poll();
  EXPECT_EQ(client->received, "") << "the restart is no end of the run";

  send(*client, "STOP");
  serve(*client, "RUN_START00000002");
  ASSERT_TRUE(received(*client, "RUN_STOPPED")) << client->received;
  EXPECT_EQ(st.AcquisitionGeneration.load(), generation) << "the start waits for the end";
  TimerCB(st);
  EXPECT_EQ(st.AcquisitionGeneration.load(), generation + 1);
  EXPECT_EQ(VX_VALUE(st.tcp.TCPRunId), 2);
  ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() > 3; }, 10.0));
  stop_run(*client, "RUN_STOPPED");

  send(*client, "RUN_START00000003");
  serve(*client, "STOP");
  EXPECT_EQ(st.AcquisitionGeneration.load(), generation + 2);
  ASSERT_TRUE(received(*client, "RUN_STOPPEDRUN_STOPPEDRUN_STOPPED")) << client->received;
  EXPECT_TRUE(st.remote.requests.empty());

  send(*client, "STOP");
  serve(*client, "RUN_START00000004");
  ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() > 20; }, 10.0));
  EXPECT_EQ(st.AcquisitionRunning.load(), 1);
  EXPECT_EQ(VX_VALUE(st.tcp.TCPRunId), 4);

  // A stop served for one run is spent when that run ends, even when another run starts before
  // the next tick: the client's later commands do not wait for the end of a run it never stopped.
  const std::string stopped = "RUN_STOPPEDRUN_STOPPEDRUN_STOPPEDRUN_STOPPED";
  stop_run(*client, "RUN_STOPPEDRUN_STOPPEDRUN_STOPPED");
  ASSERT_EQ(Start_AcquisitionFromUser(st), kDone);  // before any tick
  serve(*client, "RUN_START00000005");
  EXPECT_TRUE(received(*client, stopped + "RUN_START_REFUSED:a run is already going on\n"))
      << client->received;
  EXPECT_TRUE(st.remote.requests.empty());
}

// A start served while a worker holds the records reads none of them (the worker writes them
// meanwhile) and is refused as the board is busy.
TEST_F(RemoteFixture, AStartWhileAWorkerHoldsTheRecordsReadsNoneOfThem) {
  Set_TCPCommandsEnabled(st, st, true);
  auto client = connect_client();
  std::atomic<bool> release{false};
  Lend_Records(st, [&] {
    for (int k = 0; !release.load(); k ^= 1) st.acq.RunFromFile = k;
    st.acq.RunFromFile = 0;
  });
  serve(*client, "RUN_START00000001");
  release = true;
  EXPECT_TRUE(received(*client,
                       "RUN_START_REFUSED:the board is busy with a connection, a "
                       "calibration or a scan\n"))
      << client->received;
  pump_until([&] { return !Records_Lent(st); });
}

// A stop is never lost to a settings restart that follows it at once, however soon, nor are
// commands that reach the server in one read; every setup load not carried out is answered.
TEST_F(RemoteFixture, NoCommandIsLostToARestartOrToOneReadAndEveryLoadIsAnswered) {
  const auto file = sim.dir.path() / "finite.dat";
  st.acq.RunType = 1;
  st.acq.NbOfEventsRequired = 1000000;
  ASSERT_EQ(Write_SetupFile(st, st, file), 1);
  st.acq.RunType = 3;
  enable_commands();
  auto client = connect_client();
  std::string expected;
  for (int attempt = 0; attempt < 5; ++attempt) {
    SCOPED_TRACE(attempt);
    serve(*client, "RUN_START00000001");
    ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() > 3; }, 10.0));
    if (attempt % 2 == 0) {
      serve(*client, "STOP");
      Set_RunDuration(st, 0, 0, 5, 0);  // a change follows before the loop has seen the stop
    } else {
      const bool was_running = RestartGuard::begin(st);
      RestartGuard restart(st, was_running);
      serve(*client, "STOP");  // served while a change holds the run
    }
    expected += "RUN_STOPPED";
    ASSERT_TRUE(received(*client, expected)) << client->received;
    EXPECT_EQ(st.AcquisitionRunning.load(), 0);
  }

  // Three commands written at once, as a busy client's socket delivers them.
  serve(*client, "RUN_START00000006");
  ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() > 3; }, 10.0));
  client->send("STOP\r\nLOAD_SETUP_FROM_FILE:" + file.string() + "\r\nRUN_START00000007");
  ASSERT_TRUE(pump_until([&] { return st.remote.requests.size() == 3; }));
  EXPECT_TRUE(logged("Received 'LoadSetupFromFile' command from TCP Client."));
  TimerCB(st);
  expected += "RUN_STOPPED";
  ASSERT_TRUE(received(*client, expected)) << client->received;
  TimerCB(st);
  EXPECT_EQ(VX_VALUE(st.acq.RunType), 1) << "the setup was loaded";
  EXPECT_EQ(VX_VALUE(st.acq.TCPCommandsEnabled), 1) << "the file was saved with commands off";
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteLoadSetupRequest), 0);
  EXPECT_EQ(VX_VALUE(st.tcp.TCPRunId), 7);
  EXPECT_EQ(st.AcquisitionRunning.load(), 1) << "run 7 started on it";

  // Loads that are not carried out are answered, in their turn.
  send(*client, "LOAD_SETUP_FROM_FILE:" + file.string());
  serve(*client, "LOAD_SETUP_FROM_FILE:/" + std::string(540, 'x'));
  expected +=
      "LOAD_SETUP_REFUSED:a run is going on\nLOAD_SETUP_REFUSED:the file name is too long\n";
  ASSERT_TRUE(received(*client, expected)) << client->received;
  EXPECT_TRUE(
      logged("Ignored 'LoadSetupFromFile' command from TCP Client because Acquisition is "
             "already running."));
  stop_run(*client, expected);
  expected += "RUN_STOPPED";

  // A file that is no setup file (here a FIFO nobody writes to, which would block the
  // loader): refused at once, and the client is told why.
  const auto fifo = sim.dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  serve(*client, "LOAD_SETUP_FROM_FILE:" + fifo.string());
  expected += "LOAD_SETUP_REFUSED:Error while opening file for setup readout! '" + fifo.string() +
              "': it is a FIFO, not a regular file.\n";
  EXPECT_TRUE(received(*client, expected)) << client->received;
  EXPECT_EQ(VX_VALUE(st.acq.RunType), 1) << "nothing changed";
}

// Reconnecting the board keeps the live server's record: it still says online and keeps its
// client, which stays served while a second one is refused.
TEST_F(RemoteFixture, ASecondClientIsRefusedWhileTheFirstStays) {
  auto first = connect_client();
  const int handle = st.tcp.ClientHandle;
  const int port = st.tcp.ServerPort;
  Connect_Board(st, kModelDesktop);
  sim.core.pool.wait_idle();
  ASSERT_EQ(st.Board_Connected.load(), 1);
  EXPECT_EQ(VX_VALUE(st.tcp.ServerOnline), 1);
  EXPECT_EQ(VX_VALUE(st.tcp.ServerPort), port);
  EXPECT_EQ(std::string(st.tcp.ClientIp), "127.0.0.1");
  enable_commands();
  Client second(port);
  ASSERT_TRUE(
      pump_until([&] { return box_has("-- Refusing conection request from 127.0.0.1 --\n"); }));
  EXPECT_TRUE(pump_until([&] { return !second.poll(); })) << "the newcomer is disconnected";
  EXPECT_EQ(VX_VALUE(st.tcp.ClientHandle), handle);
  EXPECT_EQ(VX_VALUE(st.tcp.ClientConnected), 1);

  send(*first, "STOP");  // the first client is still served

  first->close();
  ASSERT_TRUE(pump_until([&] { return st.tcp.ClientConnected == 0; }));
  EXPECT_EQ(VX_VALUE(st.tcp.ClientHandle), 0);
  EXPECT_EQ(std::string(st.tcp.ClientIp), "NONE");
  EXPECT_TRUE(box_has("-- Client disconnected --\n"));
  auto third = connect_client();
  EXPECT_NE(VX_VALUE(st.tcp.ClientHandle), handle);
}

TEST_F(RemoteFixture, LongMessagesFloodsAndRandomBytesDoNoHarm) {
  enable_commands();
  auto client = connect_client();

  // 600 bytes: the first 599 are one message, the last byte the next one.
  const std::string long_stop = "STOP" + std::string(595, 'a') + "Z";
  st.remote.ReceivedMessages.clear();
  client->send(long_stop);
  ASSERT_TRUE(pump_until([&] { return box_has("Z"); }));
  EXPECT_EQ(st.remote.ReceivedMessages, long_stop) << "nothing lost, nothing added";
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteStopRequest), 1);

  // Far more than the server buffers at once; the client leaves right after, and all it
  // sent is still served: the box ends with the last 64 KiB of it.
  std::mt19937 rng(7);
  std::string flood(200 * 1024, '\0');
  for (auto& c : flood) {
    c = static_cast<char>(rng());
    if (c == '\0' || c == '\n') c = '.';
  }
  client->send(flood);
  client->close();
  ASSERT_TRUE(pump_until([&] { return st.tcp.ClientConnected == 0; }, 20.0));
  ASSERT_EQ(st.remote.ReceivedMessages.size(), 64u * 1024u) << "the box keeps only the latest text";
  const std::string shown = flood + "-- Client disconnected --\n";
  EXPECT_TRUE(st.remote.ReceivedMessages == shown.substr(shown.size() - 64 * 1024));

  // Random bytes, zeros included.
  auto noisy = connect_client();
  std::string noise(20 * 1024, '\0');
  for (auto& c : noise) c = static_cast<char>(rng());
  noisy->send(noise);
  noisy->close();
  ASSERT_TRUE(pump_until([&] { return st.tcp.ClientConnected == 0; }, 20.0));

  auto next = connect_client();
  send(*next, "RUN_START00000005");
  EXPECT_EQ(VX_VALUE(st.tcp.TCPRunId), 5);
}

TEST_F(RemoteFixture, ServerSideDisconnectAndFailedAcknowledgement) {
  auto client = connect_client();
  Disconnect_TCPClient(st, st);
  EXPECT_TRUE(box_has("-- Client disconnected by server--\n"));
  EXPECT_TRUE(logged("TCP Client Disconnected by server.\n"));
  EXPECT_TRUE(pump_until([&] { return !client->poll(); }));

  // The client is gone but its disconnect event is not handled yet: the write fails.
  auto leaving = connect_client();
  const int handle = st.tcp.ClientHandle;
  leaving->close();
  std::array<char, 8> probe{};
  ASSERT_TRUE(wait_for_flag(
      [&] { return st.remote.server->read(handle, probe, 0) == kTcpPeerClosed; }, 5.0));
  Send_RunStopAcknowledge(st, st);
  EXPECT_TRUE(sim.core.ui.has_message(
      MessageTab::Warnings,
      "WARNING: Run Stop Acknowledge Transmit Error to TCP Client! The client is gone: "));
  EXPECT_FALSE(sim.core.ui.has_message(MessageTab::Infos, "queued")) << "nothing waits for it";
}

// What the messages say of the run data and of the acknowledgement is what happened to
// them: queued behind data the client has not read yet, or lost with a client gone.
TEST_F(RemoteFixture, TransmissionMessagesSayWhatBecameOfTheData) {
  auto client = connect_client();
  TcpServer& server = *st.remote.server;
  // More than the sockets hold: the acknowledgement waits behind it, and is not lost.
  const std::string backlog(48u << 20, 'd');
  ASSERT_EQ(server.send(st.tcp.ClientHandle, backlog, backlog.size()), 0);
  // The connection's own notes (tables not valid) are warnings already; this adds none.
  const auto warnings_before = sim.core.ui.tab_texts(MessageTab::Warnings).size();
  Send_RunStopAcknowledge(st, st);
  EXPECT_TRUE(
      logged("RUN_STOPPED is queued for the TCP client behind the run data it has not "
             "read yet: it goes out as the client reads.\n"));
  EXPECT_EQ(sim.core.ui.tab_texts(MessageTab::Warnings).size(), warnings_before);
  EXPECT_TRUE(received(*client, backlog + "RUN_STOPPED", 60.0));

  // Events queued for a client, then events after it left.
  Set_TransmitRunDataToTcpClient(st, st, true);
  for (int i = 0; i < 3; ++i) Queue_RunDataForTcpClient(st, Freeze_RunConfig(st), st.event);
  Transmit_RunDataToTcpClient(st, st, false);
  client->close();
  ASSERT_TRUE(pump_until([&] { return st.tcp.ClientConnected == 0; }));
  for (int i = 0; i < 2; ++i) Queue_RunDataForTcpClient(st, Freeze_RunConfig(st), st.event);
  Transmit_RunDataToTcpClient(st, st, true);
  EXPECT_TRUE(sim.core.ui.has_message(
      MessageTab::Warnings,
      "Transmit RunData to TCP Client: 3 events queued on the client's connection (they go out "
      "as it reads), 2 not sent: the client was gone or not connected.\n"));
  EXPECT_FALSE(sim.core.ui.has_message(MessageTab::Infos, "fast enough"));
}

TEST_F(RemoteFixture, QueuedSendsKeepTheirOrderASecondServerFailsAndUnregisteringDropsEvents) {
  auto client = connect_client();
  TcpServer& server = *st.remote.server;
  const int h = st.tcp.ClientHandle;
  std::string expected;
  for (int i = 0; i < 50; ++i) {
    const std::string chunk =
        "chunk " + std::to_string(i) + std::string(2000, static_cast<char>('a' + i % 26)) + "\n";
    ASSERT_EQ(server.send(h, chunk, 1u << 20), 0) << i;
    expected += chunk;
  }
  // A blocking write waits its turn behind the queued sends.
  ASSERT_EQ(server.write(h, std::string_view("END"), 1000), 3);
  expected += "END";
  // More than the limit allows is refused whole, and nothing of it is sent.
  EXPECT_EQ(server.send(h, std::string(4096, 'x'), 4095), kTcpWriteBusy);
  EXPECT_TRUE(received(*client, expected)) << "bytes out of order or lost";
  EXPECT_EQ(server.send(h + 1000, "x", 10), kTcpNotConnected);

  test::SimCore other("DT5743");
  other.st.remote.ListenAddress = "127.0.0.1";
  other.st.tcp.ServerPort = st.tcp.ServerPort;
  Register_TCPIP_Server(other.st);
  EXPECT_EQ(other.st.tcp.ServerOnline, 0);
  EXPECT_TRUE(
      other.core.ui.has_message(MessageTab::Infos, "Error : Failed to register TCP/IP Server!\n"));

  Client unseen(st.tcp.ServerPort);  // its connect event is still queued
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  UnRegister_TCPIP_Server(st, st);
  EXPECT_EQ(VX_VALUE(st.tcp.ServerOnline), 0);
  EXPECT_EQ(VX_VALUE(st.tcp.ClientConnected), 0);
  EXPECT_EQ(std::string(st.tcp.ServerIp), "NONE");
  sim.core.ui.loop.process_pending();
  EXPECT_FALSE(box_has("Refusing")) << "events of a closed server are dropped";
  EXPECT_TRUE(pump_until([&] { return !client->poll(); }))
      << "unregistering closes the conversation";
}

}  // namespace
}  // namespace vx
