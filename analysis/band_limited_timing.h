// Time and amplitude of one channel's pulse on the band-limited reconstruction of its
// waveform. A pulse that has passed the board's front end holds almost nothing near the
// Nyquist frequency; the reconstruction low-passes the samples at half that frequency
// (a Kaiser-windowed sinc of 16 taps) and interpolates them exactly as a band-limited
// signal, so that the crossing's time does not depend on where the pulse falls within a
// sample, and the noise above the cut-off, more than half of white noise's power, is left
// out.
#pragma once

#include "app/measurement_jobs.h"

namespace vx {

// Leading and trailing times (ns from sample 0; -1 when there is no valid crossing) and
// amplitude (V) of job's waveform with the settings' constant fraction or the job's fixed
// threshold. The peak is the reconstruction's extreme within a sample of the extreme
// sample; the edges are the threshold's crossings nearest to it, before and after.
void Time_BandLimited(const MeasurementSettings& s, const ChannelJob& job, ChannelResult& r);

}  // namespace vx
