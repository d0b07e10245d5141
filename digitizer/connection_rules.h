// The connection panel's rules: which entry fields a model and link type use, and the
// VME base address that choosing a model resets.
#pragma once

#include <cstdint>

namespace vx {

enum BoardModel : int { kModelNone = -1, kModelDesktop = 0, kModelVme = 1 };
inline constexpr const char* kModelNames[] = {"DT5743/N6743", "V1743"};

inline constexpr std::uint32_t kVmeBaseMin = 0x32100000;
inline constexpr std::uint32_t kVmeBaseMax = 0x321FFFFF;

struct ConnectionFields {
  bool link_number = false;
  bool conet_node = false;
  bool pid = false;
  bool ip_address = false;
  bool base_address = false;
  friend bool operator==(const ConnectionFields&, const ConnectionFields&) = default;
};

ConnectionFields visible_connection_fields(int model, int link_type);

// The base address the panel sets when a model is chosen.
inline std::uint32_t base_address_for_model(int model) {
  return model == kModelDesktop ? 0 : kVmeBaseMin;
}

}  // namespace vx
