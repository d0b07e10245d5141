// Long runs with the per-run lists on, on the simulated board: the rate over each tenth of
// the run and the resident memory as the run goes on.
//   soak_long_run lists [EVENTS]  300 000 events (default) at the board's dead-time limit:
//       16 channels x 1024 samples, 1 MHz pulses self-triggering every channel at -50 mV,
//       time differences of channels 0 and 1 and software charges, nothing saved. Reports
//       the rate over the first 50 000 events against the rest, and the resident memory
//       gained per event.
//   soak_long_run full [EVENTS]   10^7 events (default) with the board's dead time set to 0:
//       16 channels x 64 samples, external triggers at 1 MHz, everything that keeps per-run
//       state on: time differences and software charges (their lists at the cap), noise,
//       hit rates, spectra, every channel's measurements saved in the measurement file.
//       Reports each tenth's rate, resident memory and waits on the saving queue. Fails when
//       the run ends early, when, once the lists hold their cap, the resident memory still
//       grows by more than 16 MB, or when a tenth's rate falls below 0.9 of the first tenth's
//       that starts with the lists full. A tenth's rate for that is its best hundredth's: a
//       shared machine slows some stretches by more than a tenth (its rate per CPU second
//       with them), a program that slows down slows every one.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/acquisition_controls.h"
#include "acquisition/run_control.h"
#include "analysis/charge.h"
#include "analysis/rate_measurement.h"
#include "digitizer/board_configuration.h"
#include "soak/soak_core.h"

namespace {

// CPU seconds of the whole process so far.
double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Mark {
  int events = 0;
  double seconds = 0.0;
  long rss_kb = 0;
  double cpu = 0.0;
  vx::SaveRing::Waits waits{};  // the loop's waits for room in the saving queue so far
};

struct Profile {
  bool full = false;
  int events = 0;
  int split = 0;  // the rate before and after this event ("lists")
};

void configure_lists(vx::State& st) {
  st.sys.TriggerSource = 1;  // every channel's own discriminator
  vx::Set_SystemTriggerMode(st);
  vx::Set_SystemEnabledTriggerSources(st);
  vx::Set_Threshold(st, -1, -0.05f);
  vx::Set_TriggerEdge(st, -1, vx::kPolarityFallingEdge);
}

void configure_full(vx::State& st, const std::filesystem::path& dir) {
  st.sys.TriggerSource = 3;
  vx::Set_SystemTriggerMode(st);
  vx::Set_RecordColumns(st, 4);
  vx::Set_MaxNumEventsBLT(st, 1024);
  st.acq.FFTMode = 1;
  st.gui.NoiseMeasurementOn = 1;
  // With spectra on, the data file would hold 512 spectral values per channel as text; the
  // measurement file takes every event through the writer at a size the disk can hold.
  const auto run_data = dir / "RunData";
  std::filesystem::create_directories(run_data);
  st.acq.PopupForFileName = 0;
  vx::set_text(st.acq.DataDirectory, run_data.c_str());
  st.acq.SaveMeasurementsInFile = 1;
  vx::Enable_RateMeasurement(st, st, st, true);
}

vx::sim::SimConfig board_of(const Profile& p) {
  vx::sim::SimConfig config;
  config.trigger_rate_hz = 1e6;
  if (p.full) {
    config.external_rate_hz = 1e6;
    config.dead_time_us = 0.0;
    config.memory_events = 1024;
    config.register_access_us = 0.0;
    for (auto& ch : config.channel) ch.pulse_delay_ns = 8.0;  // inside the 20 ns record
  }
  return config;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "full";
  Profile p;
  p.full = which == "full";
  if (!p.full && which != "lists") {
    std::fprintf(stderr, "usage: soak_long_run lists|full [EVENTS]\n");
    return 2;
  }
  p.events = argc > 2 ? std::atoi(argv[2]) : (p.full ? 10000000 : 300000);
  p.split = p.events / 6;

  vx::soak::SoakCore core("V1743", board_of(p), "soak-long-run");
  vx::State& st = core.st;
  if (!core.connected()) {
    std::printf("no board\n");
    return 2;
  }
  if (p.full) {
    configure_full(st, core.dir);
  } else {
    configure_lists(st);
  }
  st.gui.DisplayTimeOnWaveforms = 0;
  st.acq.EnTimeJitter = 1;
  st.acq.TimeHistoChannelA = 0;
  st.acq.TimeHistoChannelB = 1;
  vx::Select_ChargeMode(st, vx::ChargeMode::Software);
  vx::Set_RunType(st, st, 1, p.events);

  std::printf("%s: %d events, lists keep %lld events, load average %s", which.c_str(), p.events,
              static_cast<long long>(st.meas.ListEntriesKept.load()),
              [] {
                std::ifstream in("/proc/loadavg");
                std::string a, b, c;
                in >> a >> b >> c;
                return a + " " + b + " " + c + "\n";
              }()
                  .c_str());
  std::vector<int> at;
  const int marks_per_run = p.full ? 100 : 10;
  for (int i = 1; i <= marks_per_run; ++i)
    at.push_back(static_cast<int>(1LL * p.events * i / marks_per_run));
  if (!p.full) at.push_back(p.split);
  std::sort(at.begin(), at.end());
  std::vector<Mark> marks{{0, 0.0, vx::soak::resident_kb(), cpu_seconds(), {}}};

  const auto t0 = std::chrono::steady_clock::now();
  const auto now = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  const int generation = st.AcquisitionGeneration.load();
  if (vx::Start_AcquisitionFromUser(st) != 1) {
    std::printf("FAILED: the run did not start\n");
    return 1;
  }
  std::size_t next = 0;
  for (;;) {
    const int n = st.NbOfEventsInRun.load();
    const bool over =
        st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0;
    while (next < at.size() && n >= at[next])
      marks.push_back(
          {at[next++], now(), vx::soak::resident_kb(), cpu_seconds(), st.SavingQueue.waits()});
    if (over) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const int done = st.NbOfEventsInRun.load();
  // The loop's waits go to the run's account at its end.
  const vx::SaveRing::Waits left = st.SavingQueue.waits();
  marks.back().waits = {st.run.SavingQueueWaitSeconds + left.seconds,
                        st.run.SavingQueueWaits + left.count};

  // The tenths, each with its own rate, and its events per CPU second of the process (what
  // the machine's other work does not change).
  std::printf("%-10s %10s %12s %11s %12s %12s %14s\n", "events", "events/s", "best 1/100",
              "per CPU s", "RSS (kB)", "kB vs start", "queue waits");
  const auto rate_between = [](const Mark& a, const Mark& b) {
    return (b.events - a.events) / std::max(b.seconds - a.seconds, 1e-9);
  };
  const Mark* previous = &marks.front();
  std::vector<double> tenth_rates;  // each tenth's best hundredth (the full run)
  std::vector<int> tenth_starts;
  for (std::size_t i = 1; i < marks.size(); ++i) {
    const Mark& m = marks[i];
    if (m.events % std::max(p.events / 10, 1) != 0) continue;
    double best = 0.0;
    for (std::size_t j = i; j > 0 && marks[j - 1].events >= previous->events; --j)
      best = std::max(best, rate_between(marks[j - 1], marks[j]));
    tenth_rates.push_back(p.full ? best : rate_between(*previous, m));
    tenth_starts.push_back(previous->events);
    const int events = m.events - previous->events;
    std::printf("%-10d %10.0f %12.0f %11.0f %12ld %+12ld %7lld %5.2f s\n", m.events,
                rate_between(*previous, m), best, events / std::max(m.cpu - previous->cpu, 1e-9),
                m.rss_kb, m.rss_kb - marks.front().rss_kb,
                static_cast<long long>(m.waits.count - previous->waits.count),
                m.waits.seconds - previous->waits.seconds);
    previous = &m;
  }
  if (done < p.events) {
    std::printf("FAILED: the run ended after %d of %d events\n", done, p.events);
    return 1;
  }
  const Mark& last = marks.back();
  if (!p.full) {
    const auto split = std::find_if(marks.begin(), marks.end(),
                                    [&](const Mark& m) { return m.events == p.split; });
    const double early = split->events / split->seconds;
    const double late = (last.events - split->events) / (last.seconds - split->seconds);
    const double early_cpu = split->events / split->cpu;
    const double late_cpu = (last.events - split->events) / (last.cpu - split->cpu);
    std::printf(
        "first %d events %.0f events/s (%.0f per CPU s), the other %d %.0f events/s (%.0f per "
        "CPU s): %.2f of the first (%.2f per CPU s); resident memory %+.0f bytes per event over "
        "the run, %+.0f over the other %d\n",
        split->events, early, early_cpu, last.events - split->events, late, late_cpu, late / early,
        late_cpu / early_cpu, 1024.0 * (last.rss_kb - marks.front().rss_kb) / last.events,
        1024.0 * (last.rss_kb - split->rss_kb) / (last.events - split->events),
        last.events - split->events);
    return 0;
  }
  // The lists reach their cap within the first tenths; from the fourth on memory stays.
  const int settled_at = static_cast<int>(4LL * p.events / 10);
  const Mark& settled = *std::find_if(marks.begin(), marks.end(),
                                      [&](const Mark& m) { return m.events == settled_at; });
  const long growth = last.rss_kb - settled.rss_kb;
  // The first tenth that starts with the lists at their cap, and the slowest from there.
  const long long cap = st.meas.ListEntriesKept.load();
  std::size_t first_full = 0;
  while (first_full + 1 < tenth_starts.size() && tenth_starts[first_full] < cap) ++first_full;
  const double reference = tenth_rates[first_full];
  const double slowest = *std::min_element(
      tenth_rates.begin() + static_cast<std::ptrdiff_t>(first_full), tenth_rates.end());
  std::printf(
      "%d events in %.1f s (%.0f events/s); RSS from %d events to the end %+ld kB; slowest "
      "tenth from the first with the lists full (events %d on) %.2f of it (best hundredths)\n",
      last.events, last.seconds, last.events / last.seconds, settled.events, growth,
      tenth_starts[first_full], slowest / reference);
  int failed = 0;
  if (growth > 16 * 1024) {
    std::printf("FAILED: resident memory grew by more than 16 MB after the lists were full\n");
    failed = 1;
  }
  if (slowest < 0.9 * reference) {
    std::printf("FAILED: a tenth's rate fell below 0.9 of the first tenth with the lists full\n");
    failed = 1;
  }
  return failed;
}
