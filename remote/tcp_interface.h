// The remote-control server: one TCP client may start runs, stop them and load setups.
// Its events are handled on the user-interface thread; a command is queued (and raises its
// request flag in TCPParams), and the next one-second tick carries the queue out in order.
#pragma once

#include <span>
#include <string_view>

#include "app/state.h"
#include "platform/tcp_server.h"

namespace vx {

inline constexpr int kTcpReadBytes = 600;
inline constexpr int kTcpTimeoutMs = 1000;
inline constexpr const char* kRunStoppedAcknowledge = "RUN_STOPPED";
// Answers to a command that could not be carried out: the prefix, the reason, a line feed.
// Clients that only wait for RUN_STOPPED can ignore them.
inline constexpr const char* kRunStartRefused = "RUN_START_REFUSED:";
inline constexpr const char* kLoadSetupRefused = "LOAD_SETUP_REFUSED:";

// Installs, once, what the tick and the end of a run need for remote control: the request
// service, the setup loader (unless one is already there) and the run-stop acknowledgement, chained
// after the end-of-run handler already installed. Call it at start-up, while no run can be going
// on; registering the server calls it too.
void Install_RemoteControlHooks(State& st);

// The TCP server panel's register/un-register button.
void Register_TCPIP_Server(State& st);
void UnRegister_TCPIP_Server(Settings& st, FrontEndLinks& links);

// Connect, disconnect and data-ready events of a conversation. Always 0.
int ServerTCPCB(Settings& st, FrontEndLinks& links, int handle, TcpEvent event);
// The data-ready work once the bytes are read: shown in the received-messages box, then
// tested against the commands. At most 599 bytes are looked at.
void Handle_TCPMessage(Settings& st, FrontEndLinks& links, std::span<const char> received);

// The tick's share of remote control: the client's commands in the order they arrived. A
// stop reaches only a run that is on; what follows it waits until that run has ended and
// RUN_STOPPED has gone out. A start or setup load that cannot be carried out is answered
// with a refusal.
void Serve_RemoteRequests(State& st);

void Disconnect_TCPClient(Settings& st, FrontEndLinks& links);
void Report_TCPError(FrontEndLinks& st);
void Update_TCPServerPanelValues(FrontEndLinks& st);
void Clear_TCPReceivedMessages(FrontEndLinks& st);

// Writes "RUN_STOPPED" to the connected client, if any.
void Send_RunStopAcknowledge(Settings& st, FrontEndLinks& links);
// Writes prefix, reason and a line feed to the connected client, if any (see above).
void Send_CommandRefusal(Settings& st, FrontEndLinks& links, std::string_view prefix,
                         std::string_view reason);

// Menu options.
void Set_TCPCommandsEnabled(Settings& st, FrontEndLinks& links, bool enabled);
void Set_TransmitRunDataToTcpClient(Settings& st, FrontEndLinks& links, bool enabled);

}  // namespace vx
