// Who may talk to the remote-control server: where it listens, and which client addresses it
// accepts. A server that listens beyond this machine with commands on can be driven by any
// host that reaches it, so that case is said aloud when the server starts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/state.h"

namespace vx {

// True for an address of this machine only (127.0.0.0/8, ::1, localhost).
bool Is_LoopbackAddress(const std::string& address);

// A listening address the server can bind: a numeric IPv4 or IPv6 address.
bool Is_ListenAddress(const std::string& address);

// "HOST[,HOST...]" as the numeric addresses the names stand for. nullopt, with the host that
// could not be resolved in error, when one of them is not known.
std::optional<std::vector<std::string>> Resolve_AllowedClients(const std::string& list,
                                                               std::string& error);

// True when no list is set or the peer's address is in it (an IPv4 client reaching an IPv6
// socket is compared by its IPv4 address).
bool Client_Allowed(const std::vector<std::string>& allowed, const std::string& peer);

// The warning of a server that any host can command (listening beyond this machine, commands
// on, no allow-list); empty otherwise.
std::string Remote_ExposureWarning(const Settings& st, FrontEndLinks& links);

}  // namespace vx
