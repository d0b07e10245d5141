// Per-run measurement state (histograms, noise, per-run lists).
#pragma once

namespace vx {

struct MeasurementData {};

}  // namespace vx
