#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "app/message_log.h"
#include "cli/commands.h"
#include "files/setup_file.h"
#include "remote/client_allow_list.h"
#include "remote/tcp_interface.h"
#include "wiring/core_wiring.h"

namespace vx::cli {

namespace {

// Shows what arrives in the server's received-messages box, control bytes escaped.
class ReceivedEcho {
 public:
  explicit ReceivedEcho(const RemoteData& remote) : remote_(remote) {}

  void print_new() {
    const std::uint64_t end = remote_.ReceivedMessagesDropped + remote_.ReceivedMessages.size();
    if (end <= shown_) return;
    const std::uint64_t dropped = remote_.ReceivedMessagesDropped;
    const std::size_t from = shown_ > dropped ? static_cast<std::size_t>(shown_ - dropped) : 0;
    std::string line = "TCP     ";
    for (std::size_t i = from; i < remote_.ReceivedMessages.size(); ++i) {
      const auto c = static_cast<unsigned char>(remote_.ReceivedMessages[i]);
      if (c == '\n') {
        line += "\n        ";
      } else if (std::isprint(c) != 0) {
        line += static_cast<char>(c);
      } else {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        line += escaped;
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (line.back() != '\n') line += '\n';
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    shown_ = end;
  }

 private:
  const RemoteData& remote_;
  std::uint64_t shown_ = 0;
};

}  // namespace

int command_serve(Session& session, const ServeOptions& options, const RunOptions& run_options) {
  std::vector<std::string> allowed;
  if (options.allow) {
    std::string unknown;
    const auto resolved = Resolve_AllowedClients(*options.allow, unknown);
    if (!resolved) {
      std::fprintf(stderr, "--allow %s: the host '%s' is not known.\n", options.allow->c_str(),
                   unknown.c_str());
      return 2;
    }
    allowed = *resolved;
  }
  if (!session.connect()) return 1;
  State& st = session.state();
  // A setup the client loads replaces every record: the runs served still take the run
  // options of this command line, as they do after --setup.
  Install_RemoteControl(st, [&session, &run_options](const std::string& file) {
    std::string refusal;
    if (Load_SetupFromFile(session.state(), file, 0, &refusal) != 1)
      return std::optional<std::string>(refusal);
    if (!apply_run_options(session, run_options))
      Write_InfoMessage(session.state(),
                        "The run options of serve do not fit the setup loaded: the next runs "
                        "take the setup as it is.\n",
                        kError);
    return std::optional<std::string>();
  });
  if (!apply_run_options(session, run_options)) return 2;

  st.remote.ListenAddress = options.bind;
  st.remote.AllowedClients = allowed;
  st.tcp.ServerPort = options.port;
  Register_TCPIP_Server(st);
  if (st.tcp.ServerOnline != 1) {
    std::fprintf(stderr, "Cannot listen on %s port %d: %s\n", options.bind.c_str(), options.port,
                 st.remote.TCPSystemError.c_str());
    return 1;
  }
  if (options.commands) Set_TCPCommandsEnabled(st, st, true);
  if (options.transmit_data) Set_TransmitRunDataToTcpClient(st, st, true);
  std::printf("Remote control on %s port %d, commands %s. Ctrl-C ends.\n", options.bind.c_str(),
              st.tcp.ServerPort, st.acq.TCPCommandsEnabled == 1 ? "enabled" : "disabled");
  if (!allowed.empty()) {
    std::string list;
    for (const auto& a : allowed) list += (list.empty() ? "" : ", ") + a;
    std::printf("Clients accepted: %s.\n", list.c_str());
  }
  std::printf("'kill -USR1 %d' disconnects the client.\n", static_cast<int>(getpid()));
  std::fflush(stdout);

  ReceivedEcho echo(st.remote);
  const auto each_pass = [&] {
    if (Session::take_disconnect_request()) {
      if (st.tcp.ClientConnected == 1) {
        Disconnect_TCPClient(st, st);
      } else {
        std::printf("No TCP client to disconnect.\n");
        std::fflush(stdout);  // a log file or a pipe shows it now, not with the next message
      }
    }
    echo.print_new();
  };
  session.run_until([] { return Session::interrupted(); }, each_pass);
  if (st.AcquisitionRunning.load() == 1) {
    st.request_run_end();
    session.run_until([&] { return st.AcquisitionRunning.load() == 0; }, [&] { echo.print_new(); });
  }
  echo.print_new();
  UnRegister_TCPIP_Server(st, st);
  return 0;
}

}  // namespace vx::cli
