// The ASCII event record written the straightforward way, one printf per value with the
// record's format strings: the reference the fast writer must match byte for byte.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "app/state.h"

namespace vx::test {

inline void append_printf(std::string& out, const char* fmt, auto... args) {
  char text[512];
  const int n = std::snprintf(text, sizeof text, fmt, args...);
  out.append(text, static_cast<std::size_t>(n));
}

inline void printf_ascii_event(const State& st, std::string& out) {
  const RunData& r = st.run;
  const DecodedEvent& e = st.event;
  const EventResults& m = st.results;
  char chain[25] = {};
  std::memcpy(chain, e.EventTimeChain.data(), e.EventTimeChain.size());
  append_printf(out, "=== EVENT %d ===\n", st.EventNumber.load());
  append_printf(out,
                "=== UnixTime = %12.3f date = %d.%d.%d time = %dh.%dm.%ds.%dms == TDC From FPGA = "
                "%llu == TDC "
                "Corrected = %s ===\n",
                r.EpochTime, r.Year, r.Month, r.Day, r.Hour, r.Minute, r.Second,
                static_cast<int>(r.Millisecond), static_cast<unsigned long long>(e.EventTDC[0]),
                chain);
  for (int b = 0; b < st.sys.NbOfSAMBlocks; ++b) {
    for (int c = 0; c < 2; ++c) {
      if (st.gui.ChannelEnabled[2 * b + c] != 1) continue;
      const double tdc_ns = static_cast<double>(e.EventTDC[b]) * 5.0;
      if (st.acq.MeasurementsEnabled == 1) {
        append_printf(
            out,
            "=== CH: %d EVENTID: %d FCR: %d Baseline: %7.6f V Amplitude: %7.6f V Charge: %8.3f pC "
            "LeadingEdgeTime: %.3lf ns TrailingEdgeTime: %.3lf ns TrigCount: %d TimeCount %d ===\n",
            2 * b + c, static_cast<int>(e.EventID[b]), static_cast<int>(e.EventFCR[b]),
            m.MeasuredBaseline[b][c], m.AmplitudeValue[b][c], m.ComputedCharge[b][c],
            m.RiseTimeInstant[b][c] + tdc_ns, m.FallTimeInstant[b][c] + tdc_ns, e.TrigCount[b][c],
            e.TimeCount[b][c]);
      } else {
        append_printf(
            out,
            "=== CH: %d EVENTID: %d FCR: %d Baseline: %7.6f V Amplitude: %7.6f V Charge: %8.3f pC "
            "LeadingEdgeTime: %6.3f ns TrailingEdgeTime: %6.3f ns TrigCount: %d TimeCount %d ===\n",
            2 * b + c, static_cast<int>(e.EventID[b]), static_cast<int>(e.EventFCR[b]), 0.0, 0.0,
            0.0, 0.0, 0.0, e.TrigCount[b][c], e.TimeCount[b][c]);
      }
      for (int k = 0; k < st.sys.RecordLength; ++k)
        append_printf(out, "%7.6f ", e.FullyOrderedValues[b][c][k] * 0.00061);
      out += "\n";
    }
  }
}

}  // namespace vx::test
