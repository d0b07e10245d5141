// Single-register accesses with communication-error accounting, and the flag protocols
// that keep settings changes away from a running readout.
#pragma once

#include <cstdint>

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// Note the argument order: value before address. A failure is counted, logged, stops the
// running acquisition through StopRequest and never stops the caller.
void Write_Register(BoardPort port, int handle, std::uint32_t value, std::uint32_t address);
void Read_Register(BoardPort port, int handle, std::uint32_t* value, std::uint32_t address);

// Asks the running acquisition to stop and waits until its thread has left the loop.
void Stop_AcquisitionAndWait(const BoardPort& port);

// Holds BoardAccessReq for the lifetime of the object, after stopping the acquisition and
// waiting for the readout cycle to be over.
class BoardAccess {
 public:
  explicit BoardAccess(BoardPort port);
  ~BoardAccess();
  BoardAccess(const BoardAccess&) = delete;
  BoardAccess& operator=(const BoardAccess&) = delete;

 private:
  BoardLink& link_;
};

// True when library calls may be made: a digitizer is attached and its handle is valid.
inline bool board_usable(const BoardLink& st) {
  return st.digitizer != nullptr && st.DeviceHandle.load() >= 0;
}

}  // namespace vx
