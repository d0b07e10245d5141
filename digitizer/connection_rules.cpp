#include "digitizer/connection_rules.h"

namespace vx {

ConnectionFields visible_connection_fields(int model, int link_type) {
  ConnectionFields f;
  if (model == kModelDesktop) {
    switch (link_type) {
      case 0:
        f.link_number = true;
        break;
      case 1:
        f.link_number = f.conet_node = true;
        break;
      case 5:
        f.conet_node = f.pid = true;
        break;
      default:
        break;
    }
  } else if (model == kModelVme) {
    switch (link_type) {
      case 0:
        f.link_number = f.base_address = true;
        break;
      case 1:
        f.link_number = f.conet_node = f.base_address = true;
        break;
      case 5:
      case 7:
        f.conet_node = f.pid = f.base_address = true;
        break;
      case 6:
        f.conet_node = f.ip_address = f.base_address = true;
        break;
      default:
        break;
    }
  }
  return f;
}

}  // namespace vx
