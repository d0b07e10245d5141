// The simulated board's trigger and memory model: trigger arrivals in the injected clock's
// time, dead time, the board memory that fills until it is read, and the hit counters.
#include <algorithm>

#include "sim/board_constants.h"
#include "sim/simulated_board.h"
#include "sim/trigger_model.h"

namespace vx::sim {

double SimulatedBoard::dead_time_s() const {
  if (acquisition_mode_ == kAcqModeCharge) return kChargeDeadTimeS;
  return config_.dead_time_us * 1e-6 * record_length_ / static_cast<double>(kCells);
}

std::size_t SimulatedBoard::memory_capacity() const {
  return acquisition_mode_ == kAcqModeCharge ? kChargeMemory : config_.memory_events;
}

bool SimulatedBoard::accepting() const {
  if (pending_.size() >= memory_capacity()) return false;
  if (const auto& stop = config_.fault.stop_after_events) {
    if (delivered_ + pending_.size() >= *stop) return false;
  }
  return true;
}

void SimulatedBoard::advance_counters(double t) {
  const double dt = t - counters_time_;
  if (dt <= 0.0) return;
  for (int c = 0; c < channels(); ++c) {
    ch_[c].register_counter.count(counters_time_, t, ch_[c].hit_rate, counter_rng_);
    ch_[c].event_counter.count(counters_time_, t, ch_[c].hit_rate, counter_rng_);
  }
  counters_time_ = t;
}

void SimulatedBoard::accept_trigger(double t) {
  advance_counters(t);
  Pending ev;
  ev.time = t;
  ev.serial = ++accepted_;
  ev.counter = event_counter_++ & 0xFFFFFF;
  const double ticks = (t - acquisition_start_) * 1e12 / (16.0 * period_ps());
  ev.tdc = static_cast<std::uint64_t>(std::max(0.0, ticks)) & kTdcMask;
  const bool counters_on = registers_[0x8070] & kControlRateCounters;
  for (int c = 0; c < channels(); ++c) {
    if (counters_on) {
      ev.hits[c] = ch_[c].event_counter.hits();
      ev.micros[c] = ch_[c].event_counter.micros(t);
    }
    ch_[c].event_counter.restart(t);
  }
  last_event_time_ = t;
  pending_.push_back(ev);
  if (!(registers_[0x8070] & kControlContinuousArm)) armed_ = false;
}

void SimulatedBoard::reschedule(double t) {
  next_trigger_ = trigger_rate_ > 0.0 ? t + arrival_rng_.exponential(trigger_rate_)
                                      : std::numeric_limits<double>::infinity();
}

void SimulatedBoard::advance(double t) {
  if (acquiring_) {
    while (next_trigger_ <= t && armed_) {
      if (!accepting()) {
        // Triggers that find the memory full are lost; only the counters see them.
        reschedule(t);
        break;
      }
      const double at = next_trigger_;
      accept_trigger(at);
      reschedule(at + dead_time_s());
    }
    if (!armed_ && next_trigger_ <= t) reschedule(t);
  }
  advance_counters(t);
}

void SimulatedBoard::recompute_rates() {
  TriggerSetup setup;
  setup.channels = channels();
  setup.pulse_rate_hz = config_.trigger_rate_hz;
  setup.noise_bandwidth_hz = config_.noise_bandwidth_mhz * 1e6;
  setup.logic = logic_;
  setup.majority_level = static_cast<int>(majority_);
  for (int b = 0; b < blocks_; ++b) {
    setup.pair_logic[b] = grp_[b].pair_logic;
    setup.window_s[b] = grp_[b].window_ns * 1e-9;
  }
  bool any_self = false;
  for (int c = 0; c < channels(); ++c) {
    const ChannelSignal& sig = config_.channel[c];
    Discriminator& d = setup.ch[c];
    d.acquisition_trigger = (ch_[c].self_trigger_mode & kTrgModeAcqOnly) != 0;
    any_self = any_self || d.acquisition_trigger;
    const double seen_baseline =
        config_.discriminator_after_offset ? dac_volts(ch_[c].offset_code) : 0.0;
    d.level_v =
        threshold_volts(ch_[c].threshold_code) + truth_.discriminator_offset_v[c] - seen_baseline;
    d.noise_v = sig.noise_mv * 1e-3;
    d.input = sig.input;
    if (sig.input == InputKind::kPulse) {
      const double sign = sig.pulse_polarity == PulsePolarity::kNegative ? -1.0 : 1.0;
      d.excursion_v = sign * sig.pulse_amplitude_mv * 1e-3;
    }
    d.sine_amplitude_v = sig.sine_amplitude_mv * 1e-3;
    d.sine_frequency_hz = sig.sine_frequency_mhz * 1e6;
    double rate = channel_hit_rate(d, setup.pulse_rate_hz, setup.noise_bandwidth_hz);
    if (ch_[c].veto_enable) rate = rate / (1.0 + rate * ch_[c].veto_window_ns * 1e-9);
    ch_[c].hit_rate = rate;
  }
  double rate = any_self ? self_trigger_rate(setup) : 0.0;
  if ((ext_trigger_mode_ & kTrgModeAcqOnly) && !trigger_in_as_gate_) {
    rate += config_.external_rate();
  }
  trigger_rate_ = rate;
  reschedule(now());
}

}  // namespace vx::sim
