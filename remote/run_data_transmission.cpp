#include "remote/run_data_transmission.h"

#include <string>

#include "analysis/fft_noise.h"
#include "app/message_log.h"
#include "files/record_format.h"

namespace vx {

namespace {

void set_light(FrontEndLinks& st, bool on) {
  RunDataTransmission& tx = st.remote.tx;
  if (tx.light_on == on) return;
  tx.light_on = on;
  st.ui.set_led(Led::TxData, on);
}

}  // namespace

void Queue_RunDataForTcpClient(State& st, const RunConfig& cfg, const DecodedEvent& event) {
  RunDataTransmission& tx = st.remote.tx;
  ByteBuffer record;
  const bool spectra = st.FFTMode().load() == 1;
  const int generation = st.AcquisitionGeneration.load();
  if (tx.generation != generation) {
    tx.generation = generation;
    // The header the data file has: its channel count and record length, for the client.
    const std::string header = common_header(cfg) + data_header_line(cfg, spectra);
    RecordWriter(record).text(header);
  }
  if (spectra) {
    Compute_SpectrumOfEvent(st, cfg, event);
    append_fft_event(st, st, cfg, event, record);
  } else {
    append_ascii_event(st, st, cfg, event, record);
  }
  {
    std::lock_guard lock(tx.mutex);
    if (tx.outbox.size() + record.size > kMaxTransmitBacklog) {
      ++tx.events_dropped;
    } else {
      tx.outbox.append(record.data.data(), record.size);
      ++tx.events_queued;
    }
  }
  if (!tx.flush_posted.exchange(true))
    st.ui.post([&st] { Transmit_RunDataToTcpClient(st, st, false); });
}

namespace {

// At the end of a run: what became of the run's events.
void tell_transmission(FrontEndLinks& st, std::int64_t dropped) {
  RunDataTransmission& tx = st.remote.tx;
  if (tx.events_sent == 0 && dropped == 0 && tx.events_lost == 0) return;
  std::string text = "Transmit RunData to TCP Client: " + std::to_string(tx.events_sent) +
                     " events queued on the client's connection (they go out as it reads)";
  if (dropped > 0)
    text += ", " + std::to_string(dropped) + " not sent: the client did not read them fast enough";
  if (tx.events_lost > 0)
    text +=
        ", " + std::to_string(tx.events_lost) + " not sent: the client was gone or not connected";
  Write_InfoMessage(st, text + ".\n", dropped + tx.events_lost > 0 ? kWarning : kInfo);
}

}  // namespace

void Transmit_RunDataToTcpClient(Settings& st, FrontEndLinks& links, bool run_ended) {
  RunDataTransmission& tx = links.remote.tx;
  tx.flush_posted = false;
  std::string bytes;
  std::int64_t events = 0;
  {
    std::lock_guard lock(tx.mutex);
    bytes.swap(tx.outbox);
    events = tx.events_queued;
    tx.events_queued = 0;
  }
  const bool client = st.tcp.ClientConnected == 1 && links.remote.server != nullptr;
  if (client && !bytes.empty()) {
    const int rc =
        links.remote.server->send(st.tcp.ClientHandle, std::move(bytes), kMaxTransmitBacklog);
    if (rc == 0) {
      tx.events_sent += events;
      set_light(links, !run_ended);
    } else if (rc == kTcpWriteBusy) {
      std::lock_guard lock(tx.mutex);
      tx.events_dropped += events;
    } else {
      tx.events_lost += events;  // the client is gone: its disconnect event is on its way
    }
  } else if (!client) {
    tx.events_lost += events;
    set_light(links, false);
  }
  if (!run_ended) return;
  set_light(links, false);
  std::int64_t dropped = 0;
  {
    std::lock_guard lock(tx.mutex);
    dropped = tx.events_dropped;
    tx.events_dropped = 0;
  }
  tell_transmission(links, dropped);
  tx.events_sent = 0;
  tx.events_lost = 0;
}

}  // namespace vx
