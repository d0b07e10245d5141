// A long continuous run on the simulated board without per-run lists: the resident memory
// after 10^4 events is the reference, and it may not grow by more than 10 MB until 10^6.
// The fastest settings that still go through the whole live path: the desktop model, the
// shortest record (one column of 16 samples), readouts of up to 1024 events, external
// triggers at 1 MHz, no measurements, nothing saved.
//   soak_memory [EVENTS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "acquisition/acquisition_controls.h"
#include "acquisition/run_control.h"
#include "digitizer/board_configuration.h"
#include "soak/soak_core.h"

int main(int argc, char** argv) {
  const int events = argc > 1 ? std::atoi(argv[1]) : 1000000;
  constexpr int kReferenceEvents = 10000;
  constexpr long kAllowedGrowthKb = 10 * 1024;

  vx::sim::SimConfig config;
  config.external_rate_hz = 1e6;
  config.memory_events = 1024;
  config.register_access_us = 0.0;
  vx::soak::SoakCore core("DT5743", config, "soak-memory");
  vx::State& st = core.st;
  st.sys.TriggerSource = 3;
  vx::Set_SystemTriggerMode(st);
  vx::Set_RecordColumns(st, 1);
  vx::Set_MaxNumEventsBLT(st, 1024);
  st.gui.DisplayTimeOnWaveforms = 0;
  st.gui.NoiseMeasurementOn = 0;
  st.gui.RateMeasurementOn = 0;
  st.acq.EnTimeJitter = 0;
  st.acq.EnSoftwareChargeHisto = 0;
  st.acq.FFTMode = 0;
  st.acq.SaveDataInFile = 0;
  st.acq.SaveMeasurementsInFile = 0;
  vx::Set_RunType(st, st, 1, events);

  const long start_kb = vx::soak::resident_kb();
  const auto t0 = std::chrono::steady_clock::now();
  if (vx::Start_AcquisitionFromUser(st) != 1) {
    std::fprintf(stderr, "the run did not start\n");
    return 2;
  }
  std::printf("%-10s %12s %12s\n", "events", "RSS (kB)", "vs 10^4");
  long reference_kb = -1, worst_kb = 0;
  int next_report = kReferenceEvents;
  for (;;) {
    const int n = st.NbOfEventsInRun.load();
    const bool running = st.AcquisitionRunning.load() == 1;
    if (n >= next_report || !running) {
      const long kb = vx::soak::resident_kb();
      if (reference_kb < 0 && n >= kReferenceEvents) reference_kb = kb;
      if (reference_kb >= 0) worst_kb = std::max(worst_kb, kb - reference_kb);
      std::printf("%-10d %12ld %+12ld\n", n, kb, reference_kb < 0 ? 0 : kb - reference_kb);
      std::fflush(stdout);
      next_report = n < 100000 ? 100000 : (n / 100000 + 1) * 100000;
    }
    if (!running) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const int done = st.NbOfEventsInRun.load();
  std::printf(
      "memory soak: %d events in %.1f s (%.0f events/s); RSS at start %ld kB, at 10^4 "
      "events %ld kB, largest growth after that %+ld kB (allowed %ld kB)\n",
      done, seconds, done / seconds, start_kb, reference_kb, worst_kb, kAllowedGrowthKb);
  if (done < events) {
    std::printf("FAILED: the run ended after %d of %d events\n", done, events);
    return 1;
  }
  if (worst_kb > kAllowedGrowthKb) {
    std::printf("FAILED: resident memory grew by more than 10 MB\n");
    return 1;
  }
  return 0;
}
