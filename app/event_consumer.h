// The consumers of a run's events: every event the loop reads (or replays) goes through them
// in turn, each one given the event once.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vx {

class State;
struct DecodedEvent;
struct RunConfig;

// Where a consumer takes its turn; consumers of one stage in the order they were registered.
enum class EventStage {
  Calibration,  // accumulation for a calibration, on the event as read
  Charges,      // the firmware's charge histograms (charge mode)
  Spectrum,
  Noise,
  Measurement,   // edge times, amplitudes, charges of the event
  Display,       // the frame for the main graph
  Rates,         // hit rates from the board's counters
  Saving,        // hand-over to the data-file writer
  Transmission,  // to the remote client
  Histograms,    // the run's histograms and per-run lists
  Monitoring,    // observers of the run, after everything else
};

// One consumer. `wanted` is asked for every event, since a user may switch a measurement on or
// off while a run goes on; `consume` then takes the event, given to it as it was decoded: a
// consumer reads the event it is handed, never one of its own finding.
struct EventConsumer {
  std::string name;
  EventStage stage = EventStage::Monitoring;
  std::function<bool(State&, const RunConfig&)> wanted;
  std::function<void(State&, const RunConfig&, const DecodedEvent&)> consume;
  // Optional: called as each loop of a run starts, before its first event, and as it ends,
  // after its last one (a settings restart ends one loop and starts the next).
  std::function<void(State&, const RunConfig&)> begin = {};
  std::function<void(State&, const RunConfig&)> end = {};
};

using EventConsumers = std::vector<EventConsumer>;

}  // namespace vx
