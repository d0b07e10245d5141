#include "digitizer/register_access.h"

#include <cstdio>

#include "app/message_log.h"
#include "platform/clock.h"

namespace vx {

namespace {

void count_failure(BoardPort port, const char* format, int code) {
  port.link.Communication_Error = 1;
  const double now = port.links.clock.now();
  if (port.link.NbOfCommunicatonErrors.load() == 0) {
    port.link.LastUsbErrorTimer = now;
    port.link.CurrentUsbErrorTimer = now;
  } else {
    port.link.LastUsbErrorTimer = port.link.CurrentUsbErrorTimer.load();
    port.link.CurrentUsbErrorTimer = now;
  }
  const int count = port.link.NbOfCommunicatonErrors.fetch_add(1) + 1;
  char text[160];
  std::snprintf(text, sizeof text, format, count, port.event_number.load(), code);
  Write_InfoMessage(port.links.log, text, kWarning);
  port.settings.StopRequest().store(1);
}

}  // namespace

void Write_Register(BoardPort port, int handle, std::uint32_t value, std::uint32_t address) {
  if (port.link.digitizer == nullptr || handle < 0) return;
  const int rc = port.link.digitizer->WriteRegister(handle, address, value);
  if (rc < 0)
    count_failure(port, "ERROR: Communication Write Error %d at Event: %d, Error Code : %d!\n", rc);
}

void Read_Register(BoardPort port, int handle, std::uint32_t* value, std::uint32_t address) {
  if (port.link.digitizer == nullptr || handle < 0) return;
  const int rc = port.link.digitizer->ReadRegister(handle, address, value);
  if (rc < 0)
    count_failure(port, "ERROR: Communication Read Error %d at Event: %d, Error code : %d!\n", rc);
}

void Stop_AcquisitionAndWait(const BoardPort& port) {
  port.settings.StopRequest().store(1);
  // Through the front end: on the user-interface thread the ending run may still need it.
  port.links.ui.wait_until([&] { return port.acquisition_running.load() == 0; });
}

BoardAccess::BoardAccess(BoardPort port) : link_(port.link) {
  Stop_AcquisitionAndWait(port);
  wait_for_flag([&] {
    std::int32_t expected = 0;
    return link_.BoardAccessReq.compare_exchange_strong(expected, 1);
  });
  wait_for_flag([&] { return port.acquisition_busy.load() == 0; });
}

BoardAccess::~BoardAccess() {
  link_.BoardAccessReq = 0;
}

}  // namespace vx
