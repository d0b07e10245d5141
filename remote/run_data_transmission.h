// Run data sent to the remote client while "Enable Transmit data to TCP Client" is on:
// the client receives the run as an ASCII data file would hold it (the header lines once
// per run, then every event's record), followed by the run-stop acknowledgement.
#pragma once

#include <cstddef>

#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// What may wait for a slow client, in the outbox and in the socket's queue each; events
// that do not fit are not sent and are counted.
inline constexpr std::size_t kMaxTransmitBacklog = 8u << 20;

// Acquisition thread, after an event is processed: formats it into the outbox.
void Queue_RunDataForTcpClient(State& st, const RunConfig& cfg, const DecodedEvent& event);
// User-interface thread: hands the outbox to the connected client and sets the TX light.
// At the end of a run (run_ended) the light goes out and events not sent are told.
void Transmit_RunDataToTcpClient(Settings& st, FrontEndLinks& links, bool run_ended);

}  // namespace vx
