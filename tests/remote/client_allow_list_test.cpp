#include "remote/client_allow_list.h"

#include <gtest/gtest.h>

#include <string>

#include "remote/tcp_interface.h"
#include "support/sim_core.h"
#include "support/tcp_client.h"

namespace vx {
namespace {

TEST(ClientAllowList, OnlyTheNamedClientsGetIn) {
  struct Case {
    std::vector<std::string> allowed;
    bool admitted;
  };
  // The test client connects from 127.0.0.1.
  const Case cases[] = {{{}, true}, {{"127.0.0.1"}, true}, {{"127.0.0.2", "::1"}, false}};
  for (const Case& c : cases) {
    test::SimCore sim("DT5743");
    sim.connect();
    State& st = sim.st;
    st.tcp.ServerPort = 0;
    st.remote.AllowedClients = c.allowed;
    Register_TCPIP_Server(st);
    ASSERT_EQ(st.tcp.ServerOnline, 1);
    {
      test::TcpClient client(st.tcp.ServerPort);
      const std::string said = c.admitted ? "-- New connection from 127.0.0.1 --"
                                          : "-- Refusing connection from 127.0.0.1: not an "
                                            "allowed client --";
      EXPECT_TRUE(sim.core.ui.loop.run_until(
          [&] { return st.remote.ReceivedMessages.find(said) != std::string::npos; }, 5.0))
          << st.remote.ReceivedMessages;
      EXPECT_EQ(st.tcp.ClientConnected, c.admitted ? 1 : 0);
      EXPECT_EQ(sim.core.ui.has_message(MessageTab::Infos,
                                        "TCP connection from 127.0.0.1 refused: it is not an "
                                        "allowed client.\n"),
                !c.admitted);
      if (!c.admitted) {
        EXPECT_TRUE(sim.core.ui.loop.run_until([&] { return !client.poll(); }, 5.0)) << "closed";
      }
    }
    UnRegister_TCPIP_Server(st, st);
  }
}

TEST(ClientAllowList, AServerAnyHostCanCommandIsSaidAloud) {
  struct Case {
    const char* listen;
    bool commands;
    std::vector<std::string> allowed;
    bool warned;
  };
  const Case cases[] = {
      {"0.0.0.0", true, {}, true},       {"0.0.0.0", false, {}, false},
      {"127.0.0.1", true, {}, false},    {"::1", true, {}, false},
      {"::", true, {"10.0.0.5"}, false}, {"192.0.2.1", true, {}, true},
  };
  for (const Case& c : cases) {
    test::SimCore sim("DT5743");
    State& st = sim.st;
    st.tcp.ServerOnline = 1;
    st.acq.TCPCommandsEnabled = c.commands ? 1 : 0;
    st.remote.ListenAddress = c.listen;
    st.remote.AllowedClients = c.allowed;
    EXPECT_EQ(!Remote_ExposureWarning(st, st).empty(), c.warned) << c.listen;
  }
  // Names stand for their addresses; an IPv4 client on an IPv6 socket is its IPv4 address.
  std::string unknown;
  const auto resolved = Resolve_AllowedClients("localhost,10.1.2.3", unknown);
  ASSERT_TRUE(resolved);
  EXPECT_TRUE(Client_Allowed(*resolved, "::ffff:127.0.0.1"));
  EXPECT_TRUE(Client_Allowed(*resolved, "10.1.2.3"));
  EXPECT_FALSE(Client_Allowed(*resolved, "10.1.2.4"));
  EXPECT_FALSE(Resolve_AllowedClients("10.1.2.3,", unknown));
}

}  // namespace
}  // namespace vx
