#include "digitizer/register_access.h"

#include <cstdio>

#include "app/message_log.h"
#include "platform/clock.h"

namespace vx {

namespace {

void count_failure(State& st, const char* format, int code) {
  st.Communication_Error = 1;
  const double now = st.clock.now();
  if (st.NbOfCommunicatonErrors.load() == 0) {
    st.LastUsbErrorTimer = now;
    st.CurrentUsbErrorTimer = now;
  } else {
    st.LastUsbErrorTimer = st.CurrentUsbErrorTimer.load();
    st.CurrentUsbErrorTimer = now;
  }
  const int count = st.NbOfCommunicatonErrors.fetch_add(1) + 1;
  char text[160];
  std::snprintf(text, sizeof text, format, count, st.EventNumber.load(), code);
  Write_InfoMessage(st, text, kWarning);
  st.StopRequest().store(1);
}

}  // namespace

void Write_Register(State& st, int handle, std::uint32_t value, std::uint32_t address) {
  if (st.digitizer == nullptr || handle < 0) return;
  const int rc = st.digitizer->WriteRegister(handle, address, value);
  if (rc < 0)
    count_failure(st, "ERROR: Communication Write Error %d at Event: %d, Error Code : %d!\n", rc);
}

void Read_Register(State& st, int handle, std::uint32_t* value, std::uint32_t address) {
  if (st.digitizer == nullptr || handle < 0) return;
  const int rc = st.digitizer->ReadRegister(handle, address, value);
  if (rc < 0)
    count_failure(st, "ERROR: Communication Read Error %d at Event: %d, Error code : %d!\n", rc);
}

void Stop_AcquisitionAndWait(Settings& st, RunState& run_state, FrontEndLinks& links) {
  st.StopRequest().store(1);
  // Through the front end: on the user-interface thread the ending run may still need it.
  links.ui.wait_until([&] { return run_state.AcquisitionRunning.load() == 0; });
}

BoardAccess::BoardAccess(State& st) : st_(st) {
  Stop_AcquisitionAndWait(st, st, st);
  wait_for_flag([&] {
    std::int32_t expected = 0;
    return st.BoardAccessReq.compare_exchange_strong(expected, 1);
  });
  wait_for_flag([&] { return st.AcquisitionBusy.load() == 0; });
}

BoardAccess::~BoardAccess() {
  st_.BoardAccessReq = 0;
}

}  // namespace vx
