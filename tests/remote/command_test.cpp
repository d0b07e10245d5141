#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/parameters.h"
#include "remote/tcp_interface.h"
#include "support/packed_value.h"
#include "support/test_state.h"

namespace vx {
namespace {

struct CommandFixture : ::testing::Test {
  void SetUp() override {
    Init_Params(st);
    st.acq.TCPCommandsEnabled = 1;
    clear_requests();
  }
  void clear_requests() {
    st.remote.requests.clear();
    st.tcp.RemoteStartRequest = 0;
    st.tcp.RemoteStopRequest = 0;
    st.tcp.RemoteLoadSetupRequest = 0;
    st.tcp.TCPRunId = -999;
    set_text(st.tcp.RemoteSetupFileName, ".");
  }
  void receive(const std::string& bytes) { Handle_TCPMessage(st, st, bytes); }

  test::TestCore core;
  State& st = core.state;
};

TEST_F(CommandFixture, EachCommandIsTestedIndependentlyAsTheClientLibraryReadsIt) {
  struct Case {
    std::string text;
    int start;          // run number, or -999 for no start request
    std::string setup;  // file name, or "." for none
    bool stop;
  } cases[] = {
      {"RUN_START00000042", 42, ".", false},
      {"RUN_START42\r\n", 42, ".", false},
      {"RUN_START \t7", 7, ".", false},
      {"RUN_START123456789", 12345678, ".", false},  // eight characters at most
      {"RUN_START-5", -5, ".", false},
      {"RUN_START+", -999, ".", false},
      {"RUN_STARTX", -999, ".", false},
      {"RUN_STOP", -999, ".", false},
      {"run_start1", -999, ".", true},  // lower case sorts after "STOP"
      {"LOAD_SETUP_FROM_FILE:/data/a b.dat", -999, "/data/a", false},
      {"LOAD_SETUP_FROM_FILE:  /data/c.dat\r\n", -999, "/data/c.dat", false},
      {"LOAD_SETUP_FROM_FILE:", -999, ".", false},
      {"STOP", -999, ".", true},
      {"STOP\r\n", -999, ".", true},
      {"stop", -999, ".", true},
      {"STOPPED", -999, ".", true},
      {"STO", -999, ".", false},
      {"SSSS", -999, ".", false},
      {"T", -999, ".", true},
      {"\xff", -999, ".", true},  // bytes compare unsigned
      {"", -999, ".", false},
      {std::string("STO\0P", 5), -999, ".", false},  // the text ends at a zero byte
      // Several commands in one read, one per line, as a busy socket delivers them.
      {"STOP\r\nRUN_START5", 5, ".", true},
      // ... or written back to back.
      {"RUN_START00000007STOP", 7, ".", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    clear_requests();
    receive(c.text);
    EXPECT_EQ(VX_VALUE(st.tcp.RemoteStartRequest), c.start != -999 ? 1 : 0);
    EXPECT_EQ(VX_VALUE(st.tcp.TCPRunId), c.start);
    EXPECT_EQ(std::string(st.tcp.RemoteSetupFileName), c.setup);
    EXPECT_EQ(VX_VALUE(st.tcp.RemoteLoadSetupRequest), c.setup != "." ? 1 : 0);
    EXPECT_EQ(VX_VALUE(st.tcp.RemoteStopRequest), c.stop ? 1 : 0);
  }
}

// However a client's commands are joined (line ends, blanks, nothing) and wherever the reads
// split them between commands, each is queued once, in the order sent.
TEST_F(CommandFixture, AStreamOfCommandsIsQueuedInOrderHoweverItIsJoinedAndRead) {
  using Kind = RemoteRequest::Kind;
  std::mt19937 random(20261209);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    clear_requests();
    std::vector<RemoteRequest> sent;
    std::vector<std::string> pieces;
    const int count = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) {
      std::string text;
      switch (random() % 3) {
        case 0: {
          const bool padded = random() % 2 == 0;
          const int run = static_cast<int>(random() % (padded ? 100000000 : 10000000));
          char field[16];
          std::snprintf(field, sizeof field, padded ? "%08d" : "%d", run);
          text = "RUN_START" + std::string(field);
          sent.push_back({Kind::Start, run, {}});
          break;
        }
        case 1: {
          const std::string name = "/setups/s" + std::to_string(random() % 1000) + ".set";
          text = "LOAD_SETUP_FROM_FILE:" + name;
          sent.push_back({Kind::LoadSetup, 0, name});
          break;
        }
        default:
          text = "STOP";
          sent.push_back({Kind::Stop, 0, {}});
      }
      // A file name runs to the next blank: only a blank or a line end can follow it.
      static const char* const joins[] = {" ", "\n", "\r\n", "\t", ""};
      text += joins[random() % (sent.back().kind == Kind::LoadSetup ? 4 : 5)];
      pieces.push_back(text);
    }
    std::string read;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      read += pieces[i];
      if (i + 1 == pieces.size() || random() % 3 == 0) {
        receive(read);
        read.clear();
      }
    }
    ASSERT_EQ(st.remote.requests.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(st.remote.requests[i].kind, sent[i].kind) << i;
      EXPECT_EQ(st.remote.requests[i].run_id, sent[i].run_id) << i;
      EXPECT_EQ(st.remote.requests[i].file, sent[i].file) << i;
    }
  }
  EXPECT_FALSE(core.ui.has_message(MessageTab::Warnings, "Ignored text"));
  receive("RUN_START00000003 please\r\n");
  EXPECT_TRUE(core.ui.has_message(MessageTab::Warnings,
                                  "Ignored text from TCP Client after its command: 'please'."));
  EXPECT_TRUE(core.ui.popups().empty());  // the client's to mend: no popup at the computer
}

TEST_F(CommandFixture, NothingHappensWhileCommandsAreDisabledButTheTextIsShown) {
  st.acq.TCPCommandsEnabled = 0;
  for (const char* text : {"RUN_START00000001", "LOAD_SETUP_FROM_FILE:/x.dat", "STOP"})
    receive(text);
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteStartRequest), 0);
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteLoadSetupRequest), 0);
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteStopRequest), 0);
  EXPECT_EQ(st.remote.ReceivedMessages, "RUN_START00000001LOAD_SETUP_FROM_FILE:/x.datSTOP");
  EXPECT_TRUE(core.ui.messages().empty());
}

// The record holds a setup file name of 515 characters; a longer one is refused when served.
TEST_F(CommandFixture, SetupLoadIsRefusedForOverlongNames) {
  receive("LOAD_SETUP_FROM_FILE:/" + std::string(514, 'n'));  // 515 characters: fits
  EXPECT_EQ(std::string(st.tcp.RemoteSetupFileName), "/" + std::string(514, 'n'));
  clear_requests();
  receive("LOAD_SETUP_FROM_FILE:/" + std::string(515, 'n'));
  EXPECT_EQ(std::string(st.tcp.RemoteSetupFileName), ".");
  Serve_RemoteRequests(st);
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteLoadSetupRequest), 0);
  EXPECT_TRUE(core.ui.has_message(MessageTab::Warnings, "because the file name is too long"));
}

}  // namespace
}  // namespace vx
