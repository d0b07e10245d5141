#include "remote/tcp_interface.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "acquisition/acquisition_loop.h"
#include "acquisition/run_control.h"
#include "app/message_log.h"
#include "app/record_loan.h"
#include "app/run_from_file.h"
#include "files/setup_file.h"
#include "remote/client_allow_list.h"
#include "remote/run_data_transmission.h"

namespace vx {

namespace {

// The received-messages box keeps the most recent text only.
constexpr std::size_t kMaxReceivedText = 64 * 1024;

constexpr std::string_view kStartCommand = "RUN_START";
constexpr std::string_view kLoadCommand = "LOAD_SETUP_FROM_FILE:";

bool is_c_space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

void append_received(FrontEndLinks& st, std::string_view text) {
  auto& box = st.remote.ReceivedMessages;
  box.append(text);
  if (box.size() <= kMaxReceivedText) return;
  const std::size_t excess = box.size() - kMaxReceivedText;
  box.erase(0, excess);
  st.remote.ReceivedMessagesDropped += excess;
}

std::string with_address(const char* format, const std::string& address) {
  char text[128];
  std::snprintf(text, sizeof text, format, address.c_str());
  return text;
}

// A command read from the start of a text, and where in the text it ends.
struct StartCommand {
  int run_id;
  std::size_t end;
};
struct LoadCommand {
  std::string_view file;
  std::size_t end;
};

// "RUN_START%08d" as sscanf reads it: blanks, then a field of at most 8 characters
// holding an optional sign and at least one digit.
std::optional<StartCommand> parse_start(std::string_view text) {
  if (!text.starts_with(kStartCommand)) return std::nullopt;
  std::size_t at = kStartCommand.size();
  while (at < text.size() && is_c_space(text[at])) ++at;
  const std::size_t field_end = std::min(text.size(), at + 8);
  bool negative = false;
  if (at < field_end && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  int value = 0;
  int digits = 0;
  for (; at < field_end && text[at] >= '0' && text[at] <= '9'; ++at, ++digits)
    value = 10 * value + (text[at] - '0');
  if (digits == 0) return std::nullopt;
  return StartCommand{negative ? -value : value, at};
}

// "LOAD_SETUP_FROM_FILE:%s": the name runs from the first non-blank to the next blank.
std::optional<LoadCommand> parse_load(std::string_view text) {
  if (!text.starts_with(kLoadCommand)) return std::nullopt;
  std::size_t first = kLoadCommand.size();
  while (first < text.size() && is_c_space(text[first])) ++first;
  std::size_t end = first;
  while (end < text.size() && !is_c_space(text[end])) ++end;
  if (end == first) return std::nullopt;
  return LoadCommand{text.substr(first, end - first), end};
}

bool starts_command(std::string_view text) {
  return text.starts_with(kStartCommand) || text.starts_with(kLoadCommand) ||
         text.starts_with("STOP");
}

// What a line holds after its commands, shown to the user: the client meant something by it.
// A warning without a popup: the client, not the user at the computer, has it to mend.
void note_ignored(FrontEndLinks& st, std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string shown;
  for (const char c : text.substr(0, kShown))
    shown += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
  if (text.size() > kShown) shown += "...";
  Write_InfoMessage(st, "Ignored text from TCP Client after its command: '" + shown + "'.",
                    kWarningNoPopup);
}

// strcmp(text, "STOP") >= 0, bytes compared as unsigned values.
bool sorts_from_stop(std::string_view text) {
  constexpr std::string_view kStop = "STOP";
  for (std::size_t i = 0; i < kStop.size(); ++i) {
    if (i == text.size()) return false;
    const auto a = static_cast<unsigned char>(text[i]);
    const auto b = static_cast<unsigned char>(kStop[i]);
    if (a != b) return a > b;
  }
  return true;
}

// The record's request flags say what waits in the queue.
void mirror_requests(Settings& st, FrontEndLinks& links) {
  std::int32_t start = 0, stop = 0, load = 0;
  for (const RemoteRequest& r : links.remote.requests) {
    start |= r.kind == RemoteRequest::Kind::Start ? 1 : 0;
    stop |= r.kind == RemoteRequest::Kind::Stop ? 1 : 0;
    load |= r.kind == RemoteRequest::Kind::LoadSetup ? 1 : 0;
  }
  st.tcp.RemoteStartRequest = start;
  st.tcp.RemoteStopRequest = stop;
  st.tcp.RemoteLoadSetupRequest = load;
}

// Queueing costs the same however many requests wait (a client may send thousands while a
// stop waits for its run to end): the flags already mirror a queue that is not empty.
void queue_request(Settings& st, FrontEndLinks& links, RemoteRequest request) {
  const bool was_empty = links.remote.requests.empty();
  const RemoteRequest::Kind kind = request.kind;
  links.remote.requests.push_back(std::move(request));
  if (was_empty) {
    mirror_requests(st, links);
  } else {
    (kind == RemoteRequest::Kind::Start  ? st.tcp.RemoteStartRequest
     : kind == RemoteRequest::Kind::Stop ? st.tcp.RemoteStopRequest
                                         : st.tcp.RemoteLoadSetupRequest) = 1;
  }
}

void take_start(Settings& st, FrontEndLinks& links, int run_id) {
  st.tcp.TCPRunId = run_id;
  queue_request(st, links, {RemoteRequest::Kind::Start, run_id, {}});
  char text[96];
  std::snprintf(text, sizeof text, "Received Start Command from TCP Client with runNumber %d.",
                run_id);
  Write_InfoMessage(links.log, text, kInfo);
  // The file panel shows the remote run number in the run name.
  links.ui.refresh_panel(Panel::AllValues);
}

void take_load(Settings& st, FrontEndLinks& links, std::string_view name) {
  // Queued whatever it finds: a run going on now may be over when its turn comes (a STOP
  // sent just before it), and a load that cannot be carried out is answered in its turn.
  if (name.size() < sizeof st.tcp.RemoteSetupFileName)
    set_text(st.tcp.RemoteSetupFileName, std::string(name).c_str());
  queue_request(st, links, {RemoteRequest::Kind::LoadSetup, 0, std::string(name)});
  Write_InfoMessage(links.log, "Received 'LoadSetupFromFile' command from TCP Client.", kInfo);
}

// One command, tested against each form as the client library reads it. Returns where it
// ends, so that what follows can be read as the next one: after a start's number field, after
// a load's file name, after "STOP"; any other text is one command to its end.
std::size_t take_command(Settings& st, FrontEndLinks& links, std::string_view text) {
  std::size_t end = text.size();
  if (const auto start = parse_start(text)) {
    take_start(st, links, start->run_id);
    end = start->end;
  }
  if (const auto load = parse_load(text)) {
    take_load(st, links, load->file);
    end = load->end;
  }
  if (sorts_from_stop(text)) {
    queue_request(st, links, {RemoteRequest::Kind::Stop, 0, {}});
    Write_InfoMessage(links.log, "Received Stop Command from TCP Client.", kInfo);
    if (text.starts_with("STOP")) end = 4;
  }
  return end;
}

void note_error(FrontEndLinks& st, int code) {
  st.remote.TCPError = code;
  if (st.remote.server) st.remote.TCPSystemError = st.remote.server->last_system_error();
}

void on_connect(Settings& st, FrontEndLinks& links, int handle) {
  TcpServer& server = *links.remote.server;
  std::string address;
  const bool known = server.peer_address(handle, address) >= 0;
  if (!links.remote.AllowedClients.empty() &&
      (!known || !Client_Allowed(links.remote.AllowedClients, address))) {
    const std::string who = known ? address : "INVALID";
    append_received(
        links, with_address("-- Refusing connection from %s: not an allowed client --\n", who));
    Write_InfoMessage(links.log,
                      "TCP connection from " + who + " refused: it is not an allowed client.\n",
                      kWarning);
    server.disconnect(handle);
    Update_TCPServerPanelValues(links);
    return;
  }
  if (st.tcp.ClientHandle != 0) {
    append_received(links, with_address("-- Refusing conection request from %s --\n",
                                        known ? address : "INVALID"));
    server.disconnect(handle);
    Update_TCPServerPanelValues(links);
    return;
  }
  st.tcp.ClientHandle = handle;
  st.tcp.ClientConnected = 1;
  set_text(st.tcp.ClientIp, known ? address.c_str() : "INVALID");
  append_received(links,
                  with_address("-- New connection from %s --\n", known ? address : "INVALID"));
  // The conversation closes by itself when the client goes: nothing to set for it here.
  links.ui.refresh_panel(Panel::Main);
  Update_TCPServerPanelValues(links);
}

void on_disconnect(Settings& st, FrontEndLinks& links, int handle) {
  if (handle == st.tcp.ClientHandle) {
    st.tcp.ClientHandle = 0;
    st.tcp.ClientConnected = 0;
    set_text(st.tcp.ClientIp, "NONE");
    append_received(links, "-- Client disconnected --\n");
  }
  Update_TCPServerPanelValues(links);
}

void on_data(Settings& st, FrontEndLinks& links, int handle) {
  std::array<char, kTcpReadBytes> buffer{};
  // One byte short of the buffer, so that what is read always ends in a zero and
  // nothing the client sent is dropped: the rest stays for the next event.
  const int n =
      links.remote.server->read(handle, std::span(buffer.data(), buffer.size() - 1), kTcpTimeoutMs);
  if (n < 0) {
    note_error(links, n);
    return;
  }
  Handle_TCPMessage(st, links, std::span<const char>(buffer.data(), static_cast<std::size_t>(n)));
}

void serve_start(State& st, const RemoteRequest& r) {
  st.tcp.TCPRunId = r.run_id;
  // The records as shown: a worker may hold the live ones (its start is refused below).
  if (replaying(Shown_Records(st).acq) && !st.ui.answers_unattended()) {
    Write_InfoMessage(st,
                      "Ignored Start Command from TCP Client: Run from File is on, and a replay "
                      "asks for its file at the computer.",
                      kWarning);
    Send_CommandRefusal(st, st, kRunStartRefused, "Run from File is on");
    return;
  }
  if (st.AcquisitionRunning.load() == 1 || st.RestartPending.load() == 1) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Acquisition already running. Unable to Start Acquisition with runNumber %d. "
                  "Acquisition must be stopped before.",
                  r.run_id);
    Write_InfoMessage(st, text, kWarning);
    Send_CommandRefusal(st, st, kRunStartRefused, "a run is already going on");
    return;
  }
  if (Start_AcquisitionFromUser(st, StartOrigin::Remote) == kDone) return;
  Send_CommandRefusal(st, st, kRunStartRefused,
                      st.StartRefusal.empty() ? "the run could not be started" : st.StartRefusal);
}

void serve_setup_load(Settings& st, RunState& run_state, FrontEndLinks& links,
                      const RemoteRequest& r) {
  const auto refuse = [&](const char* why, const char* reason, int kind = kInfo) {
    Write_InfoMessage(
        links.log,
        std::string("Ignored 'LoadSetupFromFile' command from TCP Client because ") + why, kind);
    Send_CommandRefusal(st, links, kLoadSetupRefused, reason);
  };
  if (r.file.size() >= sizeof st.tcp.RemoteSetupFileName)
    return refuse("the file name is too long.", "the file name is too long", kWarning);
  if (run_state.AcquisitionRunning.load() == 1 || run_state.RestartPending.load() == 1)
    return refuse("Acquisition is already running.", "a run is going on");
  if (Records_Lent(st))
    return refuse("a connection, a calibration or the rate scan is driving the board.",
                  "the board is busy");
  if (!links.hooks.load_setup_from_file)
    return refuse("no setup can be loaded here.", "setups cannot be loaded here");
  // The client's own setup load keeps remote control as it is, whatever the file says.
  const std::int32_t commands = st.acq.TCPCommandsEnabled;
  const std::optional<std::string> refusal = links.hooks.load_setup_from_file(r.file);
  if (st.acq.TCPCommandsEnabled != commands) {
    st.acq.TCPCommandsEnabled = commands;
    links.ui.refresh_panel(Panel::Main);
  }
  if (refusal)
    Send_CommandRefusal(st, links, kLoadSetupRefused,
                        refusal->empty() ? "the setup could not be loaded" : *refusal);
}

void install_hooks(State& st) {
  if (st.remote.hooks_installed) return;
  st.remote.hooks_installed = true;
  st.hooks.serve_remote_requests = [&st] { Serve_RemoteRequests(st); };
  if (!st.hooks.load_setup_from_file)
    st.hooks.load_setup_from_file = [&st](const std::string& file) -> std::optional<std::string> {
      std::string refusal;
      if (Load_SetupFromFile(st, file, 0, &refusal) == 1) return std::nullopt;
      return refusal;
    };
  Register_EventConsumer(
      st, {"transmission", EventStage::Transmission,
           [](State& s, const RunConfig&) { return s.TransmitRunData().load() == 1; },
           Queue_RunDataForTcpClient});
  st.hooks.on_run_finished = [&st, previous = std::move(st.hooks.on_run_finished)] {
    if (previous) previous();
    // The run's last events go out before the acknowledgement that it stopped.
    Transmit_RunDataToTcpClient(st, st, true);
    Send_RunStopAcknowledge(st, st);
    // A stop served earlier was for this run: spent now, not waiting for a run started
    // before the next tick.
    st.remote.stop_under_way = false;
  };
}

}  // namespace

void Install_RemoteControlHooks(State& st) {
  install_hooks(st);
}

void Register_TCPIP_Server(State& st) {
  if (st.tcp.ServerOnline == 1) return;
  install_hooks(st);
  auto server = std::make_shared<TcpServer>(
      [&st](std::function<void()> fn) { st.ui.post(std::move(fn)); },
      [&st](int handle, TcpEvent event) { ServerTCPCB(st, st, handle, event); });
  st.remote.TCPError = server->listen(st.remote.ListenAddress, st.tcp.ServerPort);
  if (st.remote.TCPError < 0) {
    st.remote.TCPSystemError = server->last_system_error();
    Write_InfoMessage(st, "Error : Failed to register TCP/IP Server!\n", kInfo);
    st.tcp.ServerOnline = 0;
    return;
  }
  if (st.tcp.ServerPort == 0) st.tcp.ServerPort = server->port();
  st.remote.server = std::move(server);
  Write_InfoMessage(st, "TCP/IP Server registered successfully!\n", kInfo);

  std::string text;
  st.remote.TCPError = tcp_host_address(text, st.remote.TCPSystemError);
  if (st.remote.TCPError < 0) Report_TCPError(st);
  set_text(st.tcp.ServerIp, st.remote.TCPError < 0 ? "INVALID" : text.c_str());
  st.remote.TCPError = tcp_host_name(text, st.remote.TCPSystemError);
  if (st.remote.TCPError < 0) Report_TCPError(st);
  set_text(st.tcp.ServerName, st.remote.TCPError < 0 ? "INVALID" : text.c_str());

  st.remote.ServerButtonLabel = "Un-Register TCP/IP Server";
  st.remote.PortFieldDimmed = true;
  st.tcp.ServerOnline = 1;
  if (const std::string warning = Remote_ExposureWarning(st, st); !warning.empty())
    Write_InfoMessage(st, warning, kWarning);
  st.ui.refresh_panel(Panel::Main);
  Update_TCPServerPanelValues(st);
}

void UnRegister_TCPIP_Server(Settings& st, FrontEndLinks& links) {
  links.remote.server.reset();
  st.tcp.ServerOnline = 0;
  st.tcp.ClientHandle = 0;
  st.tcp.ClientConnected = 0;
  set_text(st.tcp.ServerName, "NONE");
  set_text(st.tcp.ServerIp, "NONE");
  set_text(st.tcp.ClientIp, "NONE");
  links.remote.ServerButtonLabel = "Register TCP/IP Server";
  links.remote.PortFieldDimmed = false;
  Update_TCPServerPanelValues(links);
}

int ServerTCPCB(Settings& st, FrontEndLinks& links, int handle, TcpEvent event) {
  if (!links.remote.server) return 0;
  switch (event) {
    case TcpEvent::Connect:
      on_connect(st, links, handle);
      break;
    case TcpEvent::Disconnect:
      on_disconnect(st, links, handle);
      break;
    case TcpEvent::DataReady:
      on_data(st, links, handle);
      break;
  }
  return 0;
}

void Handle_TCPMessage(Settings& st, FrontEndLinks& links, std::span<const char> received) {
  std::array<char, kTcpReadBytes> buffer{};
  std::memcpy(buffer.data(), received.data(), std::min(received.size(), buffer.size() - 1));
  const std::string_view text(buffer.data(), std::strlen(buffer.data()));
  append_received(links, text);
  Update_TCPServerPanelValues(links);
  if (Shown_Records(st).acq.TCPCommandsEnabled != 1) return;
  // TCP keeps no message boundaries: a client that writes quickly has several commands
  // arrive in one read, on lines of their own or written back to back ("RUN_START00000007"
  // then "STOP" arrive as "RUN_START00000007STOP"). Each is taken in the order sent.
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = rest.find_first_of("\r\n");
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    while (!line.empty()) {
      line.remove_prefix(take_command(st, links, line));
      while (!line.empty() && is_c_space(line.front())) line.remove_prefix(1);
      if (line.empty() || starts_command(line)) continue;
      note_ignored(links, line);
      break;
    }
  }
}

void Serve_RemoteRequests(State& st) {
  if (Shown_Records(st).acq.TCPCommandsEnabled != 1) return;
  RemoteData& remote = st.remote;
  mirror_requests(st, st);  // the stop request a fresh record holds stands for none
  // The flags are set again once when this returns, not at each request served: that would
  // look at the whole queue each time.
  struct MirrorAtEnd {
    State& st;
    ~MirrorAtEnd() { mirror_requests(st, st); }
  } mirror_at_end{st};
  while (!remote.requests.empty()) {
    // The end of the last run is told first (RUN_STOPPED before anything that follows).
    if (st.AcquisitionRunning.load() == 0 && st.RunEndPending.load() == 1) return;
    // What follows a stop waits until the run it stops has ended.
    if (remote.stop_under_way) {
      if (Run_OnOrEnding(st)) return;
      remote.stop_under_way = false;
    }
    // A start or a setup load never runs in the middle of another handler (a dialog's, a
    // wait's or a settings restart's nested event loop): it waits for the top of the event
    // loop. A stop does not wait: a popup left open at the computer must not keep the
    // client from stopping its run, and a restart under way keeps the stop.
    if (remote.requests.front().kind != RemoteRequest::Kind::Stop && st.ui.in_nested_loop()) return;
    const RemoteRequest r = std::move(remote.requests.front());
    remote.requests.pop_front();
    switch (r.kind) {
      case RemoteRequest::Kind::Stop:
        // A stop for a run that is not on is spent: it does not stop the next one. A run
        // held by a settings restart is on.
        if (st.AcquisitionRunning.load() == 1 || st.RestartPending.load() == 1) {
          st.request_run_end();
          remote.stop_under_way = true;
        }
        break;
      case RemoteRequest::Kind::Start:
        serve_start(st, r);
        break;
      case RemoteRequest::Kind::LoadSetup:
        serve_setup_load(st, st, st, r);
        break;
    }
  }
}

void Disconnect_TCPClient(Settings& st, FrontEndLinks& links) {
  if (links.remote.server && st.tcp.ClientHandle != 0)
    links.remote.server->disconnect(st.tcp.ClientHandle);
  st.tcp.ClientHandle = 0;
  st.tcp.ClientConnected = 0;
  set_text(st.tcp.ClientIp, "NONE");
  append_received(links, "-- Client disconnected by server--\n");
  Update_TCPServerPanelValues(links);
  Write_InfoMessage(links.log, "TCP Client Disconnected by server.\n", kInfo);
}

void Report_TCPError(FrontEndLinks& st) {
  if (st.remote.TCPError >= 0) return;
  const std::string library = tcp_error_string(st.remote.TCPError);
  std::string text = "ERROR: TCP library error message: " + library +
                     "\nSystem error message: " + st.remote.TCPSystemError + " \n";
  Write_InfoMessage(st, text, kError);
}

void Update_TCPServerPanelValues(FrontEndLinks& st) {
  st.ui.refresh_panel(Panel::TcpServer);
}

void Clear_TCPReceivedMessages(FrontEndLinks& st) {
  st.remote.ReceivedMessagesDropped += st.remote.ReceivedMessages.size();
  st.remote.ReceivedMessages.clear();
  Update_TCPServerPanelValues(st);
}

void Send_RunStopAcknowledge(Settings& st, FrontEndLinks& links) {
  if (st.tcp.ClientConnected != 1 || !links.remote.server) return;
  const std::string_view text = kRunStoppedAcknowledge;
  const int result = links.remote.server->write(st.tcp.ClientHandle, text, kTcpTimeoutMs);
  if (result >= 0) return;
  note_error(links, result);
  if (result == kTcpTimeout) {
    // Not lost: it waits behind the run data the client has not read yet.
    Write_InfoMessage(links.log,
                      "RUN_STOPPED is queued for the TCP client behind the run data it has not "
                      "read yet: it goes out as the client reads.\n",
                      kInfo);
    return;
  }
  std::string why = tcp_error_string(result);
  if (!links.remote.TCPSystemError.empty()) why += " (" + links.remote.TCPSystemError + ")";
  Write_InfoMessage(links.log,
                    "WARNING: Run Stop Acknowledge Transmit Error to TCP Client! The client is "
                    "gone: " +
                        why + ".\n",
                    kWarning);
}

void Send_CommandRefusal(Settings& st, FrontEndLinks& links, std::string_view prefix,
                         std::string_view reason) {
  if (st.tcp.ClientConnected != 1 || !links.remote.server) return;
  std::string text(prefix);
  text.append(reason).push_back('\n');
  const int result = links.remote.server->write(st.tcp.ClientHandle, text, kTcpTimeoutMs);
  if (result < 0) note_error(links, result);
}

void Set_TCPCommandsEnabled(Settings& st, FrontEndLinks& links, bool enabled) {
  st.acq.TCPCommandsEnabled = enabled ? 1 : 0;
  Write_InfoMessage(links.log,
                    enabled ? "START/STOP from TCP Client is ENABLED!\n"
                            : "START/STOP from TCP Client is DISBALED!\n",
                    kInfo);
  if (const std::string warning = Remote_ExposureWarning(st, links); enabled && !warning.empty())
    Write_InfoMessage(links.log, warning, kWarning);
  links.ui.refresh_panel(Panel::Main);
}

void Set_TransmitRunDataToTcpClient(Settings& st, FrontEndLinks& links, bool enabled) {
  st.TransmitRunData().store(enabled ? 1 : 0);
  if (enabled) {
    st.DisplayOn().store(0);
    links.ui.refresh_panel(Panel::Main);
    Write_InfoMessage(links.log,
                      "Transmit RunData to TCP Client is ENABLED! Data Display set to OFF.", kInfo);
  } else {
    // What is queued still goes out; the light goes out.
    Transmit_RunDataToTcpClient(st, links, true);
    Write_InfoMessage(links.log, "Transmit RunData to TCP Client is DISABLED!", kInfo);
  }
}

}  // namespace vx
