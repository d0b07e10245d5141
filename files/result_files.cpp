#include "files/result_files.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <system_error>

#include "app/message_log.h"
#include "app/messages.h"
#include "app/run_from_file.h"
#include "platform/stdio_file.h"

namespace vx {

namespace {

void appendf(std::string& out, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n > 0) out.append(text, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}

// Writes bytes to path in one go; false (nothing left behind) when any part fails.
bool write_whole(const std::filesystem::path& path, const std::string& bytes) {
  auto temporary = path;
  temporary += ".tmp";
  StdioFile f(std::fopen(temporary.c_str(), "wb"));
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
  ok = std::fflush(f.get()) == 0 && ok;
  ok = std::fclose(f.release()) == 0 && ok;
  std::error_code ec;
  if (ok) std::filesystem::rename(temporary, path, ec);
  if (!ok || ec) {
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

int write_result(FrontEndLinks& st, const std::filesystem::path& path, const std::string& bytes,
                 const std::string& success) {
  if (!write_whole(path, bytes)) {
    Write_InfoMessage(st, "Error while opening file for saving data!\n", kError);
    return -1;
  }
  if (!success.empty()) Write_InfoMessage(st, success, kInfo);
  return 1;
}

using ResultWriter = int (*)(const Settings&, const RunState&, FrontEndLinks&,
                             const std::filesystem::path&);

// The save dialog of one result: folder under the user folder, default name with the date.
int save_with_dialog(const Settings& st, const RunState& run, FrontEndLinks& links,
                     const char* folder, const char* kind, const char* title, ResultWriter write) {
  FileDialogRequest request;
  request.title = title;
  request.initial_directory = links.UserPath / folder;
  std::error_code ec;
  std::filesystem::create_directories(request.initial_directory, ec);
  const WallTime now = links.clock.wall();
  char name[96];
  std::snprintf(name, sizeof name, "Run_*_%s_%d_%d_%d.dat", kind, now.month, now.day, now.year);
  request.default_name = name;
  request.filter = "*.dat";
  request.save = true;
  const auto path = links.ui.select_file(request);
  if (!path) return 0;
  if (path->empty()) {
    Write_InfoMessage(links, "Error : Error while opening file for saving Data!\n", kError);
    return -1;
  }
  return write(st, run, links, *path);
}

}  // namespace

std::string RateVsThreshold_Text(const Settings& st, const RunState& run_state) {
  const RateScanResult r = RateScan_Result(run_state);
  const int n = r.measured;
  std::string out;
  appendf(out, "== RATE VS THRESHOLD WITH NB OF ELEMENTS : %d ==\n", n);
  out += "== X AXIS: THRESHOLD VALUES [VOLTS] ==\n";
  const int first = r.channels > 0 ? 0 : -1;
  for (int i = 0; i < n && first >= 0; ++i)
    appendf(out, "%5.4f ", r.ThresholdValuesForPlot[first][i]);
  out += "\n";
  const int selected = st.gui.RateVsThresholdChannel;
  const int channels = std::min(static_cast<int>(st.sys.NbOfChannels), r.channels);
  for (int ch = 0; ch < channels; ++ch) {
    if (selected != -1 && ch != selected) continue;
    appendf(out, "== Y AXIS : RATE VALUES [HZ] FOR CHANNEL : %d ==\n", ch);
    for (int i = 0; i < n; ++i)
      appendf(out, "%d ", RateVsThreshold_WholeHz(r.RateValuesForPlot[ch][i]));
    out += "\n";
  }
  return out;
}

std::string ChargeHisto_Text(const Settings& st, const RunState& run_state) {
  const MeasurementData& m = run_state.meas;
  const int bins = std::clamp(static_cast<int>(st.gui.ChargeHistoNbOfBins), 1, kMaxChargeHistoBins);
  const int channels =
      std::clamp(static_cast<int>(replaying(st) ? st.acq.NbOfChannelsInFile : st.sys.NbOfChannels),
                 0, kMaxChannels);
  std::string out = "=== CHARGE HISTOs === \n";
  for (int ch = 0; ch < channels; ++ch) {
    if (st.gui.ChannelEnabled[ch] != 1) continue;
    const int b = ch / 2, c = ch % 2;
    const int entries = m.NbOfValidChargeWords[b][c];
    appendf(out, "== CHANNEL : %d  ==\n", ch);
    appendf(out, "== Nb Of Entries in Histogram : %d  ==\n", entries);
    appendf(out, "== X AXIS : Charge in pico-Coulombs [%d values] ==\n", bins);
    for (int i = 0; i < bins; ++i) appendf(out, "%7.3f ", m.ChargeDataAxis[b][c][i]);
    out += "\n";
    appendf(out, "== Y AXIS : Charge Distribution [%d values] ==\n", bins);
    for (int i = 0; i < bins; ++i)
      appendf(out, "%d ", entries == 0 ? 0 : m.ChargeDataDistri[b][c][i]);
    out += "\n";
    appendf(out, "== Mean Charge = %7.3f [pico-Coulombs] ==\n", m.ChargeMean[b][c]);
    appendf(out, "== Charge Sigma  = %7.3f [pico-Coulombs rms] ==\n", m.ChargeSigma[b][c]);
  }
  return out;
}

std::string TimeHisto_Text(const Settings& st, const RunState& run_state) {
  const MeasurementData& m = run_state.meas;
  const TimeHistoResults& h = m.TimeHisto;
  const int bins = std::clamp(static_cast<int>(m.TimeHistoRange.bins), 1, kMaxTimeHistoBins);
  std::string out;
  appendf(out,
          "=== TIME DIFFERENCE DISTRIBUTION BETWEEN CHANNEL [%d] AND CHANNEL [%d] ON %d EVENTS "
          "=== \n",
          st.acq.TimeHistoChannelA, st.acq.TimeHistoChannelB, m.NbOfValidTimes);
  appendf(out, "== X AXIS : Time difference between pulses in ns [%d values] ==\n", bins);
  for (int i = 0; i < bins; ++i) appendf(out, "%7.5f ", m.ThresholdCrossingAxis[i]);
  out += "\n";
  appendf(out, "== Y AXIS :  Time  Distribution [%d values] ==\n", bins);
  for (int i = 0; i < bins; ++i) appendf(out, "%d ", m.ThresholdCrossingDistri[i]);
  out += "\n";
  appendf(out, "== Mean of time distance between Pulses = %7.5f [ns] ==\n", h.mean_ns);
  appendf(out, "== RMS of time distance between Pulses  = %7.3f [ps] ==\n", h.rms_ps);
  appendf(out, "== FWHM of time distance between Pulses  = %7.3f [ps] ==\n",
          static_cast<double>(h.fwhm_ps));
  out += "== After Gaussian fit: ==\n";
  appendf(out, "== Fitted Mean of time distance between Pulses = %7.5f [ns] ==\n",
          h.fitted_centre_ns);
  appendf(out, "== Sigma (fit) of time distance between Pulses  = %7.3f [ps] ==\n",
          h.fitted_sigma_ps);
  appendf(out, "== FWHM (fit) of time distance between Pulses  = %7.3f [ps] ==\n",
          h.fitted_fwhm_ps);
  return out;
}

int Write_RateVsThresholdFile(const Settings& st, const RunState& run, FrontEndLinks& links,
                              const std::filesystem::path& path) {
  return write_result(links, path, RateVsThreshold_Text(st, run),
                      data_saved_message(path.string()));
}

int Write_ChargeHistoFile(const Settings& st, const RunState& run, FrontEndLinks& links,
                          const std::filesystem::path& path) {
  return write_result(links, path, ChargeHisto_Text(st, run),
                      "Charge Histograms saved in file '" + path.string() + "' successfully.\n");
}

int Write_TimeHistoFile(const Settings& st, const RunState& run, FrontEndLinks& links,
                        const std::filesystem::path& path) {
  return write_result(links, path, TimeHisto_Text(st, run), {});
}

int Save_RateVsThresholdPlotInFile(const Settings& st, const RunState& run, FrontEndLinks& links) {
  return save_with_dialog(st, run, links, "OtherMeasurements", "RateVsThreshold",
                          "Name of File to Save Rate Vs Threshold Plot", Write_RateVsThresholdFile);
}

int Save_ChargeHistoInFile(const Settings& st, const RunState& run, FrontEndLinks& links) {
  return save_with_dialog(st, run, links, "Histos", "ChargeHistos", "Name of File to Save",
                          Write_ChargeHistoFile);
}

int Save_TimeHistoInFile(const Settings& st, const RunState& run, FrontEndLinks& links) {
  return save_with_dialog(st, run, links, "Histos", "TimeHistos", "Name of File to Save",
                          Write_TimeHistoFile);
}

}  // namespace vx
