#include "remote/client_allow_list.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>

namespace vx {

namespace {

std::string without_v4_mapping(const std::string& address) {
  const std::string mapped = "::ffff:";
  if (address.size() > mapped.size() && address.compare(0, mapped.size(), mapped) == 0 &&
      address.find('.') != std::string::npos)
    return address.substr(mapped.size());
  return address;
}

}  // namespace

bool Is_LoopbackAddress(const std::string& address) {
  const std::string a = without_v4_mapping(address);
  if (a == "localhost" || a == "::1") return true;
  in_addr v4{};
  return inet_pton(AF_INET, a.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

bool Is_ListenAddress(const std::string& address) {
  in_addr v4{};
  in6_addr v6{};
  return inet_pton(AF_INET, address.c_str(), &v4) == 1 ||
         inet_pton(AF_INET6, address.c_str(), &v6) == 1;
}

std::optional<std::vector<std::string>> Resolve_AllowedClients(const std::string& list,
                                                               std::string& error) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = list.find(',', start);
    const std::string host =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma == std::string::npos ? list.size() + 1 : comma + 1;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
      error = host;
      return std::nullopt;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, &freeaddrinfo);
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      char text[INET6_ADDRSTRLEN] = {};
      const void* raw = a->ai_family == AF_INET
                            ? static_cast<const void*>(
                                  &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr)
                            : static_cast<const void*>(
                                  &reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr);
      if (inet_ntop(a->ai_family, raw, text, sizeof text) == nullptr) continue;
      const std::string address = without_v4_mapping(text);
      if (std::find(out.begin(), out.end(), address) == out.end()) out.push_back(address);
    }
  }
  return out;
}

bool Client_Allowed(const std::vector<std::string>& allowed, const std::string& peer) {
  if (allowed.empty()) return true;
  return std::find(allowed.begin(), allowed.end(), without_v4_mapping(peer)) != allowed.end();
}

std::string Remote_ExposureWarning(const Settings& st, FrontEndLinks& links) {
  if (st.tcp.ServerOnline != 1 || st.acq.TCPCommandsEnabled != 1 ||
      !links.remote.AllowedClients.empty() || Is_LoopbackAddress(links.remote.ListenAddress))
    return {};
  return "The TCP server listens on " + links.remote.ListenAddress +
         " with commands enabled: any host that reaches this machine can start and stop runs "
         "and have setup files read by name. Name the clients allowed to connect, or listen on "
         "127.0.0.1.\n";
}

}  // namespace vx
