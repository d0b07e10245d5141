#include "sim/simulated_board.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "sim/eeprom_image.h"
#include "sim/event_format.h"
#include "sim/trigger_model.h"

namespace vx::sim {
namespace {

constexpr std::uint64_t kArrivalStream = 1;
constexpr std::uint64_t kCounterStream = 2;
constexpr std::uint64_t kEventStream = 3;

constexpr std::uint32_t kMotherboardFirmware = (4u << 8) | 22u;           // V4.22
constexpr std::uint32_t kDaughterFirmware = (1u << 20) | (3u << 8) | 8u;  // V1-3.8
constexpr std::uint32_t kControlRegisterDefault = 0x0D;
constexpr std::uint32_t kControlContinuousArm = 1u << 2;
constexpr std::uint32_t kControlRateCounters = 1u << 3;
constexpr std::uint32_t kControlChargeNoBaseline = 1u << 5;
constexpr std::uint32_t kSamRegEnDac = 1u << 5;
constexpr std::uint32_t kSamRegLsb1 = 1u << 6;
constexpr std::uint32_t kSamRegLsb2 = 1u << 7;
constexpr std::size_t kChargeMemory = 4096;
constexpr std::uint32_t kChargeAggregateMax = 256;
constexpr double kChargeDeadTimeS = 1e-6;
constexpr double kNominalPeriodPs = 312.5;
constexpr std::uint64_t kTdcMask = (1ull << 40) - 1;

// Power-up levels of the registers that exist only as storage.
const std::map<std::uint32_t, std::uint32_t> kRegisterDefaults = {
    {0x8070, kControlRegisterDefault},
    {0x8100, 0x0},
    {0x811C, 0x0},
    {0x8144, 0x0},
    {0x8168, 0x0},
    {0x8170, 0x0},
    {0x81A0, 0x0},
    {0x81B4, 0x0},
};

double dac_volts(std::uint32_t code) {
  return -1.25 + code / 65535.0 * 2.5;
}
double threshold_volts(std::uint32_t code) {
  return 1.25 - code * 2.5 / 65535.0;
}

std::uint16_t saturate16(double v) {
  if (!(v > 0.0)) return 0;
  return v >= 65535.0 ? 65535 : static_cast<std::uint16_t>(v);
}

bool valid_ipv4(const std::string& text) {
  unsigned a, b, c, d;
  char tail;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) return false;
  return a < 256 && b < 256 && c < 256 && d < 256;
}

// Step of the SAM offset DACs in millivolts, from the LSB bits of SAM register 2.
double sam_dac_step_mv(std::uint16_t reg2) {
  const bool lsb1 = reg2 & kSamRegLsb1;
  const bool lsb2 = reg2 & kSamRegLsb2;
  if (lsb1) return 1.0;
  if (lsb2) return 0.25;
  return 0.5;
}

int signed_dac_code(std::uint8_t code) {
  code &= 0x7F;
  return code < 64 ? -static_cast<int>(code) : static_cast<int>(code) - 64;
}

}  // namespace

SimulatedBoard::SimulatedBoard(SimConfig config, std::filesystem::path user_data_dir,
                               std::shared_ptr<Clock> clock)
    : config_(std::move(config)),
      clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      blocks_(config_.model == "DT5743" ? 4 : 8),
      truth_(make_board_imperfections(config_.board_id, 2 * blocks_)),
      eeprom_(std::move(user_data_dir), config_.model, config_.board_id, blocks_ / 2,
              [this](int d) { return factory_eeprom(truth_, config_.board_id, d); }),
      arrival_rng_(config_.seed, kArrivalStream),
      counter_rng_(config_.seed, kCounterStream) {
  for (int c = 0; c < channels(); ++c) inputs_[c] = ChannelInput::from(config_.channel[c]);
  registers_ = kRegisterDefaults;
  group_mask_ = (1u << blocks_) - 1;
  for (auto& g : grp_) {
    g.sam_register[1] = 0x02E9;
    g.sam_register[2] = 0xC081;
    g.sam_register[3] = 0x27;
  }
  origin_ = clock_->now();
  recompute_rates();
}

SimulatedBoard::~SimulatedBoard() = default;

double SimulatedBoard::now() const {
  return clock_->now() - origin_ + bus_time_;
}

double SimulatedBoard::period_ps() const {
  return kNominalPeriodPs * (1 << frequency_);
}

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

std::uint32_t SimulatedBoard::present_groups() const {
  return group_mask_ & ((1u << blocks_) - 1);
}

std::uint32_t SimulatedBoard::event_words(std::uint32_t groups) const {
  const auto n = static_cast<std::uint32_t>(std::popcount(groups));
  return format::kHeaderWords + n * (format::kGroupHeaderWords + record_length_);
}

std::uint32_t SimulatedBoard::max_event_bytes() const {
  const std::uint32_t waveform =
      4 * (format::kHeaderWords + blocks_ * (format::kGroupHeaderWords + kCells));
  const std::uint32_t charge = 4 * (format::kHeaderWords + 2 * channels() * kChargeAggregateMax);
  return std::max(waveform, charge);
}

// ---- time, triggers and counters -------------------------------------------------------------

void SimulatedBoard::advance_counters(double t) {
  const double dt = t - counters_time_;
  if (dt <= 0.0) return;
  for (int c = 0; c < channels(); ++c) {
    const std::uint64_t n = counter_rng_.poisson(ch_[c].hit_rate * dt);
    ch_[c].register_hits += n;
    ch_[c].event_hits += n;
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
      ev.hits[c] = saturate16(static_cast<double>(ch_[c].event_hits));
      ev.micros[c] = saturate16((t - last_event_time_) * 1e6);
    }
    ch_[c].event_hits = 0;
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

// ---- signal levels and corrections -------------------------------------------------------------

void SimulatedBoard::refresh_baseline(int c) {
  Channel& ch = ch_[c];
  const Group& g = grp_[c / 2];
  const std::uint16_t reg2 = g.sam_register[2];
  const bool dac_on = reg2 & kSamRegEnDac;
  const double step_counts = sam_dac_step_mv(reg2) * 1e-3 / kVoltsPerCount;
  std::array<float, 16> line_shift{};
  for (int line = 0; line < 16; ++line) {
    line_shift[line] =
        dac_on ? static_cast<float>(signed_dac_code(g.line_code[c % 2][line]) * step_counts) : 0.0f;
  }
  const auto offset = static_cast<float>(dac_volts(ch.offset_code) / kVoltsPerCount);
  for (int p = 0; p < kCells; ++p) {
    ch.baseline[p] = truth_.pedestal[c][p] + line_shift[p % 16] + offset;
  }
  ch.baseline_dirty = false;
}

void SimulatedBoard::load_corrections() {
  corrections_loaded_ = false;
  for (int d = 0; d < blocks_ / 2; ++d) {
    const DaughterCorrections corr = corrections_from_eeprom(eeprom_.image(d));
    for (int i = 0; i < 4; ++i) {
      ch_[4 * d + i].pedestal_table = corr.pedestal[i];
      // Table entry i is the time error at the end of cell i, that is cell i + 1's own; the
      // errors scale with the sampling period, so in periods they hold at every frequency.
      auto& cell_error = ch_[4 * d + i].cell_error;
      cell_error.clear();
      if (!corr.inl_ps[i].empty()) {
        cell_error.resize(kCells);
        for (int p = 0; p < kCells; ++p) {
          cell_error[p] = corr.inl_ps[i][(p - 1) & (kCells - 1)] / kNominalPeriodPs;
        }
      }
      corrections_loaded_ = corrections_loaded_ || !corr.pedestal[i].empty();
    }
  }
}

// ---- connection -------------------------------------------------------------------------------

int SimulatedBoard::OpenDigitizer2(int link_type, const LinkArg& link_arg, int conet_node,
                                   std::uint32_t vme_base_address, int* handle) {
  std::unique_lock lock(mutex_);
  const bool desktop = blocks_ == 4;
  const std::int64_t link_number =
      std::holds_alternative<std::uint32_t>(link_arg)
          ? static_cast<std::int64_t>(std::get<std::uint32_t>(link_arg))
          : std::int64_t{-1};
  const std::string text =
      std::holds_alternative<std::string>(link_arg) ? std::get<std::string>(link_arg) : "";
  const auto done = [&](int rc) {
    lock.unlock();
    return record_call("OpenDigitizer2", {link_type, link_number, conet_node, vme_base_address}, rc,
                       text);
  };
  if (handle == nullptr) return done(kDgtzInvalidParam);
  *handle = -1;
  if (open_) return done(kDgtzAlreadyOpen);
  const bool known_link = link_type == kLinkUsb || link_type == kLinkOptical ||
                          link_type == kLinkUsbA4818 || link_type == kLinkEthV4718 ||
                          link_type == kLinkUsbV4718;
  // The desktop unit has USB and optical ports of its own but never sits behind a VME bridge.
  if (!known_link || (desktop && (link_type == kLinkEthV4718 || link_type == kLinkUsbV4718))) {
    return done(kDgtzInvalidLinkType);
  }
  if (link_type == kLinkEthV4718 ? !valid_ipv4(text) : link_number < 0) {
    return done(kDgtzInvalidParam);
  }
  if ((link_type == kLinkUsb || link_type == kLinkOptical) && link_number > 255) {
    return done(kDgtzInvalidParam);
  }
  if (conet_node < 0 || conet_node > 255) return done(kDgtzInvalidParam);
  if (desktop) {
    if (vme_base_address != 0) return done(kDgtzBoardNotFound);
  } else {
    // The VME unit is reached directly only through its own optical port (base 0); every
    // other way goes through a bridge that addresses it by its base address.
    const bool direct = link_type == kLinkOptical && vme_base_address == 0;
    if (!direct && vme_base_address != config_.vme_base_address) return done(kDgtzBoardNotFound);
  }
  if (config_.fault.fail_open) return done(kDgtzCommError);

  eeprom_.ensure_present();
  load_corrections();
  open_ = true;
  handle_ = 0;
  *handle = handle_;
  return done(kDgtzSuccess);
}

int SimulatedBoard::GetInfo(int handle, BoardInfo* info) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (info == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    BoardInfo b{};
    std::snprintf(b.ModelName, sizeof b.ModelName, "%s", config_.model.c_str());
    b.Model = blocks_ == 4 ? 5743 : 1743;
    b.Channels = static_cast<std::uint32_t>(blocks_);
    b.FormFactor = blocks_ == 4 ? 2 : 0;
    b.FamilyCode = 743;
    std::snprintf(b.ROC_FirmwareRel, sizeof b.ROC_FirmwareRel, "%02u.%02u - Build 0001",
                  kMotherboardFirmware >> 8, kMotherboardFirmware & 0xFF);
    std::snprintf(b.AMC_FirmwareRel, sizeof b.AMC_FirmwareRel, "%02u.%02u - Build 0001",
                  (kDaughterFirmware >> 8) & 0xFF, kDaughterFirmware & 0xFF);
    b.SerialNumber = config_.board_id;
    b.PCB_Revision = config_.pcb_revision;
    b.ADC_NBits = 12;
    b.SAMCorrectionDataLoaded = corrections_loaded_ ? 1 : 0;
    b.CommHandle = handle_;
    b.VMEHandle = -1;
    std::snprintf(b.License, sizeof b.License, "SIMULATED");
    *info = b;
  }
  lock.unlock();
  return record_call("GetInfo", {handle}, rc);
}

int SimulatedBoard::CloseDigitizer(int handle) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else {
    acquiring_ = false;
    pending_.clear();
    open_ = false;
    handle_ = -1;
  }
  lock.unlock();
  return record_call("CloseDigitizer", {handle}, rc);
}

// ---- registers ----------------------------------------------------------------------------------

int SimulatedBoard::register_read(std::uint32_t address, std::uint32_t* value) {
  advance(now());
  if (address == 0x8124) {
    *value = kMotherboardFirmware;
    return kDgtzSuccess;
  }
  if (address >= 0x1000 && address < 0x1800) {
    const int b = static_cast<int>((address - 0x1000) >> 8);
    const std::uint32_t off = address & 0xFF;
    if (b < blocks_) {
      if (off == 0x8C) {
        *value = kDaughterFirmware;
        return kDgtzSuccess;
      }
      if (off == 0x6C || off == 0x94) {
        const Channel& ch = ch_[2 * b + (off == 0x94 ? 1 : 0)];
        const double micros = (now() - grp_[b].counter_start) * 1e6;
        *value = (static_cast<std::uint32_t>(saturate16(micros)) << 16) |
                 saturate16(static_cast<double>(ch.register_hits));
        return kDgtzSuccess;
      }
    }
  }
  const auto it = registers_.find(address);
  *value = it == registers_.end() ? 0u : it->second;
  return kDgtzSuccess;
}

void SimulatedBoard::slow_control_write(int b, std::uint32_t data) {
  Group& g = grp_[b];
  if ((g.slow_control_address & 0xFF00) != 0x2000) return;
  const std::uint32_t index = g.slow_control_address & 0xFF;
  if (index >= g.sam_register.size()) return;
  g.sam_register[index] = static_cast<std::uint16_t>(data);
  if (index >= 0x10) {
    // Channel 1's code in the low byte, channel 0's in the third; the other bytes carry the
    // codes with bit 6 inverted, which the chip does not need.
    g.line_code[1][index - 0x10] = static_cast<std::uint8_t>(data & 0x7F);
    g.line_code[0][index - 0x10] = static_cast<std::uint8_t>((data >> 16) & 0x7F);
  }
  ch_[2 * b].baseline_dirty = true;
  ch_[2 * b + 1].baseline_dirty = true;
}

int SimulatedBoard::register_write(std::uint32_t address, std::uint32_t value) {
  const double t = now();
  advance(t);
  if (address == 0x8124) return kDgtzSuccess;  // read-only
  if (address >= 0x1000 && address < 0x1800) {
    const int b = static_cast<int>((address - 0x1000) >> 8);
    const std::uint32_t off = address & 0xFF;
    if (b < blocks_) {
      if (off == 0x8C || off == 0x6C || off == 0x94) return kDgtzSuccess;  // read-only
      if (off == 0x20) {
        ch_[2 * b].register_hits = ch_[2 * b + 1].register_hits = 0;
        grp_[b].counter_start = t;
      } else if (off == 0x84) {
        grp_[b].slow_control_address = value;
      } else if (off == 0x28) {
        slow_control_write(b, value);
      }
    }
  }
  switch (address) {
    case 0x8020:
      for (int b = 0; b < blocks_; ++b) grp_[b].counter_start = t;
      for (auto& ch : ch_) ch.register_hits = 0;
      break;
    case 0x8010:  // software clear: board memory and counters
      pending_.clear();
      for (auto& ch : ch_) ch.register_hits = ch.event_hits = 0;
      for (int b = 0; b < blocks_; ++b) grp_[b].counter_start = t;
      last_event_time_ = t;
      break;
    case 0x807C:
      pending_.clear();
      break;
    case 0x8018:
      if (value & 1) armed_ = true;
      break;
    default:
      break;
  }
  registers_[address] = value;
  return kDgtzSuccess;
}

int SimulatedBoard::ReadRegister(int handle, std::uint32_t address, std::uint32_t* value) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (value == nullptr || address > 0xFFFF) {
    rc = kDgtzInvalidParam;
  } else if (++register_accesses_ == config_.fault.fail_register_access) {
    rc = kDgtzCommError;
  } else {
    rc = register_read(address, value);
  }
  if (valid(handle)) bus_time_ += config_.register_access_us * 1e-6;
  lock.unlock();
  return record_call("ReadRegister", {handle, address}, rc);
}

int SimulatedBoard::WriteRegister(int handle, std::uint32_t address, std::uint32_t value) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (address > 0xFFFF) {
    rc = kDgtzInvalidParam;
  } else if (++register_accesses_ == config_.fault.fail_register_access) {
    rc = kDgtzCommError;
  } else {
    rc = register_write(address, value);
    recompute_rates();
  }
  if (valid(handle)) bus_time_ += config_.register_access_us * 1e-6;
  lock.unlock();
  return record_call("WriteRegister", {handle, address, value}, rc);
}

// ---- readout ------------------------------------------------------------------------------------

int SimulatedBoard::SetMaxNumEventsBLT(int handle, std::uint32_t max_events) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else if (max_events == 0 || max_events > 1023)
    rc = kDgtzInvalidParam;
  else
    max_events_blt_ = max_events;
  lock.unlock();
  return record_call("SetMaxNumEventsBLT", {handle, max_events}, rc);
}

int SimulatedBoard::MallocReadoutBuffer(int handle, char** buffer, std::uint32_t* size) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (buffer == nullptr || size == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    auto b = std::make_unique<ReadoutBuffer>();
    b->words.resize(static_cast<std::size_t>(max_events_blt_) * max_event_bytes() / 4);
    *buffer = b->data();
    *size = b->bytes();
    buffers_.push_back(std::move(b));
  }
  lock.unlock();
  return record_call("MallocReadoutBuffer", {handle}, rc);
}

int SimulatedBoard::FreeReadoutBuffer(int handle, char** buffer) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (buffer == nullptr || *buffer == nullptr) {
    rc = kDgtzInvalidBuffer;
  } else {
    const auto it = std::find_if(buffers_.begin(), buffers_.end(),
                                 [&](const auto& b) { return b->data() == *buffer; });
    if (it == buffers_.end()) {
      rc = kDgtzInvalidBuffer;
    } else {
      buffers_.erase(it);
      *buffer = nullptr;
    }
  }
  lock.unlock();
  return record_call("FreeReadoutBuffer", {handle}, rc);
}

SimulatedBoard::ReadoutBuffer* SimulatedBoard::find_buffer(const char* p) {
  for (auto& b : buffers_) {
    if (b->data() == p) return b.get();
  }
  return nullptr;
}

const SimulatedBoard::ReadoutBuffer* SimulatedBoard::find_containing(const char* p,
                                                                     std::uint32_t bytes) const {
  for (const auto& b : buffers_) {
    const char* begin = reinterpret_cast<const char*>(b->words.data());
    if (p >= begin && p + bytes <= begin + b->bytes()) return b.get();
  }
  return nullptr;
}

void SimulatedBoard::encode_event(const Pending& ev, std::uint32_t groups, bool corrupt,
                                  char* out) {
  const std::uint32_t words = event_words(groups);
  format::put(out, 0, (format::kWaveformTag << 28) | words);
  format::put(out, 1, groups | ((corrupt ? 0u : format::kFormatVersion) << 24));
  format::put(out, 2, ev.counter);
  format::put(out, 3, static_cast<std::uint32_t>(ev.tdc));

  Rng rng(config_.seed, kEventStream, ev.serial);
  const double sine_phase = rng.uniform();
  const double period = period_ps();
  std::array<std::uint16_t, kCells> raw;
  char* g = out + 4 * format::kHeaderWords;
  for (int b = 0; b < blocks_; ++b) {
    if (!(groups & (1u << b))) continue;
    const int first_cell = static_cast<int>(rng.below(kCells));
    format::put(g, 0,
                record_length_ | (static_cast<std::uint32_t>(first_cell) << 16) |
                    (static_cast<std::uint32_t>(frequency_) << 26));
    format::put(g, 1, static_cast<std::uint32_t>(ev.tdc >> 32) | ((ev.counter & 0xFF) << 8));
    format::put(g, 2, ev.hits[2 * b] | (static_cast<std::uint32_t>(ev.hits[2 * b + 1]) << 16));
    format::put(g, 3, ev.micros[2 * b] | (static_cast<std::uint32_t>(ev.micros[2 * b + 1]) << 16));
    char* samples = g + 4 * format::kGroupHeaderWords;
    for (int i = 0; i < 2; ++i) {
      const int c = 2 * b + i;
      if (ch_[c].baseline_dirty) refresh_baseline(c);
      SampleTiming timing;
      // The record starts at the beginning of the 16-cell column that holds the first cell.
      timing.first_cell = first_cell - first_cell % 16;
      timing.samples = static_cast<int>(record_length_);
      timing.period_ps = period;
      timing.cell_time_error = truth_.time_error[c].data();
      const float jitter = rng.gaussian();
      synthesize_channel(inputs_[c], ch_[c].baseline.data(), timing, jitter, sine_phase, rng,
                         raw.data());
      std::memcpy(samples + 2 * record_length_ * i, raw.data(), 2 * record_length_);
    }
    g += 4 * (format::kGroupHeaderWords + record_length_);
  }
}

std::uint32_t SimulatedBoard::fill_waveforms(char* out, std::uint32_t capacity) {
  const std::uint32_t groups = present_groups();
  const std::uint32_t bytes_each = 4 * event_words(groups);
  std::uint32_t used = 0;
  std::uint32_t n = 0;
  while (!pending_.empty() && n < max_events_blt_ && used + bytes_each <= capacity) {
    const Pending ev = pending_.front();
    pending_.pop_front();
    ++delivered_;
    const bool corrupt = config_.fault.undecodable_event == delivered_;
    encode_event(ev, groups, corrupt, out + used);
    used += bytes_each;
    ++n;
  }
  return used;
}

std::uint32_t SimulatedBoard::fill_charges(char* out, std::uint32_t capacity) {
  std::uint32_t mask = 0;
  for (int b = 0; b < blocks_; ++b) {
    if (present_groups() & (1u << b)) mask |= 3u << (2 * b);
  }
  const auto nch = static_cast<std::uint32_t>(std::popcount(mask));
  const auto fits =
      nch == 0 ? kChargeAggregateMax : (capacity / 4 - format::kHeaderWords) / (2 * nch);
  const auto n = static_cast<std::uint32_t>(
      std::min<std::size_t>({pending_.size(), kChargeAggregateMax, fits}));
  if (n == 0) return 0;

  bool corrupt = false;
  const double period = period_ps();
  const int baseline_samples =
      (registers_[0x8070] & kControlChargeNoBaseline) ? 0 : charge_baseline_samples_;
  std::vector<std::array<float, 16>> charges(n);
  std::vector<std::uint32_t> tags(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    const Pending ev = pending_.front();
    pending_.pop_front();
    ++delivered_;
    corrupt = corrupt || config_.fault.undecodable_event == delivered_;
    tags[i] = static_cast<std::uint32_t>(ev.tdc);
    Rng rng(config_.seed, kEventStream, ev.serial);
    const double sine_phase = rng.uniform();
    for (int c = 0; c < channels(); ++c) {
      if (!(mask & (1u << c))) continue;
      const auto dc = static_cast<float>(dac_volts(ch_[c].offset_code) / kVoltsPerCount);
      const int start = std::clamp(ch_[c].charge_start, 0, static_cast<int>(record_length_));
      const int length =
          std::min<int>(ch_[c].charge_length, static_cast<int>(record_length_) - start);
      charges[i][c] = synthesize_charge(inputs_[c], dc, start, length, baseline_samples, period,
                                        rng.gaussian(), sine_phase, rng);
    }
  }
  const std::uint32_t words = format::kHeaderWords + 2 * nch * n;
  format::put(out, 0, (format::kChargeTag << 28) | words);
  format::put(out, 1, mask | ((corrupt ? 0u : format::kFormatVersion) << 24));
  format::put(out, 2, n);
  format::put(out, 3, 0);
  std::size_t w = format::kHeaderWords;
  for (int c = 0; c < channels(); ++c) {
    if (!(mask & (1u << c))) continue;
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint32_t bits;
      std::memcpy(&bits, &charges[i][c], 4);
      format::put(out, w++, bits);
      format::put(out, w++, tags[i]);
    }
  }
  return 4 * words;
}

int SimulatedBoard::ReadData(int handle, int mode, char* buffer, std::uint32_t* size) {
  std::unique_lock lock(mutex_);
  const auto done = [&](int rc) {
    lock.unlock();
    return record_call("ReadData", {handle, mode}, rc);
  };
  if (!valid(handle)) return done(kDgtzInvalidHandle);
  if (size == nullptr || mode != kReadoutSlaveTerminated) return done(kDgtzInvalidParam);
  *size = 0;
  ReadoutBuffer* target = find_buffer(buffer);
  if (target == nullptr) return done(kDgtzInvalidBuffer);
  if (++readouts_ == config_.fault.fail_readout) return done(kDgtzCommError);

  advance(now());
  if (pending_.empty() && acquiring_) {
    // Nothing waiting: linger up to a millisecond, as a block transfer that times out would,
    // so that a polling caller does not spin.
    const double wait = std::clamp(next_trigger_ - now(), 0.0, 1e-3);
    lock.unlock();
    clock_->delay(wait > 0.0 ? wait : 1e-3);
    lock.lock();
    if (!valid(handle) || find_buffer(buffer) != target) return done(kDgtzInvalidBuffer);
    advance(now());
  }
  *size = acquisition_mode_ == kAcqModeCharge ? fill_charges(buffer, target->bytes())
                                              : fill_waveforms(buffer, target->bytes());
  return done(kDgtzSuccess);
}

int SimulatedBoard::GetNumEvents(int handle, const char* buffer, std::uint32_t size,
                                 std::uint32_t* num_events) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (num_events == nullptr || (buffer == nullptr && size != 0)) {
    rc = kDgtzInvalidParam;
  } else {
    std::uint32_t n = 0;
    const bool ok = size == 0 || format::walk(buffer, size, [&](const char*, std::uint32_t) {
                      ++n;
                      return true;
                    });
    *num_events = ok ? n : 0;
    if (!ok) rc = kDgtzInvalidBuffer;
  }
  lock.unlock();
  return record_call("GetNumEvents", {handle, size}, rc);
}

int SimulatedBoard::GetEventInfo(int handle, const char* buffer, std::uint32_t size,
                                 std::int32_t index, EventInfo* info, const char** event_ptr) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (buffer == nullptr || info == nullptr || event_ptr == nullptr || index < 0) {
    rc = kDgtzInvalidParam;
  } else {
    const char* found = nullptr;
    std::int32_t i = 0;
    const bool ok = format::walk(buffer, size, [&](const char* e, std::uint32_t) {
      if (i++ == index) found = e;
      return found == nullptr;
    });
    if (!ok) {
      rc = kDgtzInvalidBuffer;
    } else if (found == nullptr || format::tag(format::word(found, 0)) != format::kWaveformTag) {
      rc = kDgtzEventNotFound;
    } else {
      info->EventSize = 4 * format::size_words(format::word(found, 0));
      info->BoardId = 0;
      info->Pattern = 0;
      info->ChannelMask = format::word(found, 1) & 0xFF;
      info->EventCounter = format::word(found, 2);
      info->TriggerTimeTag = format::word(found, 3);
      *event_ptr = found;
    }
  }
  lock.unlock();
  return record_call("GetEventInfo", {handle, size, index}, rc);
}

int SimulatedBoard::AllocateEvent(int handle, Event743** event) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (event == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    events_.push_back(std::make_unique<Event743>());
    *event = events_.back().get();
  }
  lock.unlock();
  return record_call("AllocateEvent", {handle}, rc);
}

int SimulatedBoard::FreeEvent(int handle, Event743** event) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (event == nullptr || *event == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    const auto it = std::find_if(events_.begin(), events_.end(),
                                 [&](const auto& e) { return e.get() == *event; });
    if (it == events_.end()) {
      rc = kDgtzInvalidParam;
    } else {
      events_.erase(it);
      *event = nullptr;
    }
  }
  lock.unlock();
  return record_call("FreeEvent", {handle}, rc);
}

void SimulatedBoard::decode_group(const char* g, int b, GroupEvent743& out) {
  const std::uint32_t g0 = format::word(g, 0);
  const std::uint32_t g1 = format::word(g, 1);
  const std::uint32_t n = g0 & 0xFFFF;
  const std::uint32_t first_cell = (g0 >> 16) & 0x3FF;
  const double period = kNominalPeriodPs * (1 << ((g0 >> 26) & 0x3));
  out.GrPresent = 1;
  out.ChSize = n;
  out.StartIndexCell = static_cast<std::uint16_t>(first_cell);
  out.EventId = static_cast<std::uint8_t>((g1 >> 8) & 0xFF);
  out.TDC = out.TDC & 0xFFFFFFFFull;  // low bits set by the caller
  out.TDC |= static_cast<std::uint64_t>(g1 & 0xFF) << 32;
  const std::uint32_t g2 = format::word(g, 2);
  const std::uint32_t g3 = format::word(g, 3);
  out.TriggerCount = {static_cast<std::uint16_t>(g2 & 0xFFFF),
                      static_cast<std::uint16_t>(g2 >> 16)};
  out.TimeCount = {static_cast<std::uint16_t>(g3 & 0xFFFF), static_cast<std::uint16_t>(g3 >> 16)};

  const int p0 = static_cast<int>(first_cell - first_cell % 16);
  const char* samples = g + 4 * format::kGroupHeaderWords;
  std::array<std::uint16_t, kCells> raw;
  std::array<float, kCells> tau;
  for (int i = 0; i < 2; ++i) {
    const Channel& ch = ch_[2 * b + i];
    std::memcpy(raw.data(), samples + 2 * n * i, 2 * n);
    float* y = out.DataChannel[i].data();
    const bool subtract =
        correction_level_ == kCorrectionPedestalOnly || correction_level_ == kCorrectionAll;
    if (subtract && !ch.pedestal_table.empty()) {
      const float* ped = ch.pedestal_table.data();
      for (std::uint32_t k = 0; k < n; ++k) y[k] = raw[k] - ped[(p0 + k) & (kCells - 1)];
    } else {
      for (std::uint32_t k = 0; k < n; ++k) y[k] = raw[k];
    }
    const bool retime =
        correction_level_ == kCorrectionInlOnly || correction_level_ == kCorrectionAll;
    if (retime && !ch.cell_error.empty() && n > 2) {
      // Sample k was taken at k + e[cell] - e[first] periods; move it back onto the nominal
      // grid to first order, with the waveform's slope from its neighbours.
      const float* e = ch.cell_error.data();
      const float e0 = e[p0];
      const int head = std::min<int>(static_cast<int>(n), kCells - p0);
      for (int k = 0; k < head; ++k) tau[k] = e0 - e[p0 + k];
      for (int k = head; k < static_cast<int>(n); ++k) tau[k] = e0 - e[p0 + k - kCells];
      std::array<float, kCells> src;
      std::copy_n(y, n, src.begin());
      y[0] = src[0] + tau[0] * (src[1] - src[0]);
      for (std::uint32_t k = 1; k + 1 < n; ++k) {
        y[k] = src[k] + tau[k] * 0.5f * (src[k + 1] - src[k - 1]);
      }
      y[n - 1] = src[n - 1] + tau[n - 1] * (src[n - 1] - src[n - 2]);
    }
    const int channel = 2 * b + i;
    const int base_n = std::min<int>(charge_baseline_samples_, static_cast<int>(n));
    float baseline = 0.0f;
    if (base_n > 0) {
      for (int k = 0; k < base_n; ++k) baseline += y[k];
      baseline /= static_cast<float>(base_n);
    }
    const int start = std::clamp(ch_[channel].charge_start, 0, static_cast<int>(n));
    const int end = std::min<int>(start + ch_[channel].charge_length, static_cast<int>(n));
    float sum = 0.0f;
    for (int k = start; k < end; ++k) sum += y[k] - baseline;
    out.Baseline[i] = baseline;
    out.Charge[i] = static_cast<float>(sum * kVoltsPerCount * period / 50.0);
  }
}

int SimulatedBoard::DecodeEvent(int handle, const char* event_ptr, Event743** event) {
  std::unique_lock lock(mutex_);
  const auto done = [&](int rc) {
    lock.unlock();
    return record_call("DecodeEvent", {handle}, rc);
  };
  if (!valid(handle)) return done(kDgtzInvalidHandle);
  if (event_ptr == nullptr || event == nullptr || *event == nullptr) return done(kDgtzInvalidParam);
  if (find_containing(event_ptr, 4 * format::kHeaderWords) == nullptr) {
    return done(kDgtzInvalidBuffer);
  }
  const std::uint32_t w0 = format::word(event_ptr, 0);
  const std::uint32_t w1 = format::word(event_ptr, 1);
  const std::uint32_t words = format::size_words(w0);
  if (format::tag(w0) != format::kWaveformTag || (w1 >> 24) != format::kFormatVersion ||
      find_containing(event_ptr, 4 * words) == nullptr) {
    return done(kDgtzInvalidEvent);
  }
  // Check the group sizes against the event size before touching any sample.
  std::uint32_t offset = format::kHeaderWords;
  for (int b = 0; b < kMaxGroups; ++b) {
    if (!(w1 & (1u << b))) continue;
    if (b >= blocks_ || offset + format::kGroupHeaderWords > words) return done(kDgtzInvalidEvent);
    const std::uint32_t n = format::word(event_ptr, offset) & 0xFFFF;
    if (n > kCells) return done(kDgtzInvalidEvent);
    offset += format::kGroupHeaderWords + n;
  }
  if (offset != words) return done(kDgtzInvalidEvent);

  Event743& ev = **event;
  offset = format::kHeaderWords;
  for (int b = 0; b < kMaxGroups; ++b) {
    GroupEvent743& g = ev.DataGroup[b];
    if (!(w1 & (1u << b))) {
      g.GrPresent = 0;
      continue;
    }
    g.TDC = format::word(event_ptr, 3);
    decode_group(event_ptr + 4 * offset, b, g);
    offset += format::kGroupHeaderWords + g.ChSize;
  }
  return done(kDgtzSuccess);
}

int SimulatedBoard::ClearData(int handle) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else {
    advance(now());
    pending_.clear();
  }
  lock.unlock();
  return record_call("ClearData", {handle}, rc);
}

int SimulatedBoard::SWStartAcquisition(int handle) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (!acquiring_) {
    const double t = now();
    advance(t);
    acquiring_ = true;
    armed_ = true;
    acquisition_start_ = t;
    last_event_time_ = t;
    event_counter_ = 0;
    for (auto& ch : ch_) ch.event_hits = 0;
    reschedule(t);
  }
  lock.unlock();
  return record_call("SWStartAcquisition", {handle}, rc);
}

int SimulatedBoard::SWStopAcquisition(int handle) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else {
    advance(now());
    acquiring_ = false;
  }
  lock.unlock();
  return record_call("SWStopAcquisition", {handle}, rc);
}

int SimulatedBoard::SendSWtrigger(int handle) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else {
    const double t = now();
    advance(t);
    if (acquiring_ && armed_ && sw_trigger_mode_ != kTrgModeDisabled && accepting()) {
      accept_trigger(t);
      if (next_trigger_ < t + dead_time_s()) reschedule(t + dead_time_s());
    }
  }
  lock.unlock();
  return record_call("SendSWtrigger", {handle}, rc);
}

int SimulatedBoard::SendSAMPulse(int handle) {
  std::unique_lock lock(mutex_);
  const int rc = valid(handle) ? kDgtzSuccess : kDgtzInvalidHandle;
  lock.unlock();
  return record_call("SendSAMPulse", {handle}, rc);
}

// ---- charge mode --------------------------------------------------------------------------------

int SimulatedBoard::SetSAMAcquisitionMode(int handle, int mode) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (mode != kAcqModeWaveform && mode != kAcqModeCharge) {
    rc = kDgtzInvalidParam;
  } else if (mode != acquisition_mode_) {
    advance(now());
    pending_.clear();  // what is stored is in the other mode's form
    acquisition_mode_ = mode;
  }
  lock.unlock();
  return record_call("SetSAMAcquisitionMode", {handle, mode}, rc);
}

int SimulatedBoard::MallocDPPEvents(int handle, ChargeEvents* events, std::uint32_t* size) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (events == nullptr || size == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    for (auto& slot : events->Channel) {
      charge_arrays_.push_back(std::make_unique<std::vector<ChargeRecord>>(kChargeAggregateMax));
      slot = charge_arrays_.back()->data();
    }
    *size =
        static_cast<std::uint32_t>(kMaxBoardChannels * kChargeAggregateMax * sizeof(ChargeRecord));
  }
  lock.unlock();
  return record_call("MallocDPPEvents", {handle}, rc);
}

int SimulatedBoard::FreeDPPEvents(int handle, ChargeEvents* events) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (events == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    for (auto& slot : events->Channel) {
      const auto it = std::find_if(charge_arrays_.begin(), charge_arrays_.end(),
                                   [&](const auto& a) { return a->data() == slot; });
      if (it != charge_arrays_.end()) {
        charge_arrays_.erase(it);
      } else if (slot != nullptr) {
        rc = kDgtzInvalidParam;
      }
      slot = nullptr;
    }
  }
  lock.unlock();
  return record_call("FreeDPPEvents", {handle}, rc);
}

int SimulatedBoard::GetDPPEvents(int handle, const char* buffer, std::uint32_t size,
                                 ChargeEvents* events, std::uint32_t* num_events_per_channel) {
  std::unique_lock lock(mutex_);
  const auto done = [&](int rc) {
    lock.unlock();
    return record_call("GetDPPEvents", {handle, size}, rc);
  };
  if (!valid(handle)) return done(kDgtzInvalidHandle);
  if (buffer == nullptr || events == nullptr || num_events_per_channel == nullptr) {
    return done(kDgtzInvalidParam);
  }
  for (const auto* slot : events->Channel) {
    const bool ours = std::any_of(charge_arrays_.begin(), charge_arrays_.end(),
                                  [&](const auto& a) { return a->data() == slot; });
    if (!ours) return done(kDgtzInvalidBuffer);
  }
  std::fill_n(num_events_per_channel, kMaxBoardChannels, 0u);
  int rc = kDgtzSuccess;
  const bool ok = format::walk(buffer, size, [&](const char* e, std::uint32_t words) {
    const std::uint32_t w1 = format::word(e, 1);
    const std::uint32_t n = format::word(e, 2);
    const std::uint32_t mask = w1 & 0xFFFF;
    if (format::tag(format::word(e, 0)) != format::kChargeTag ||
        (w1 >> 24) != format::kFormatVersion ||
        words != format::kHeaderWords + 2 * n * static_cast<std::uint32_t>(std::popcount(mask))) {
      rc = kDgtzInvalidEvent;
      return false;
    }
    std::size_t w = format::kHeaderWords;
    for (int c = 0; c < kMaxBoardChannels; ++c) {
      if (!(mask & (1u << c))) continue;
      std::uint32_t& count = num_events_per_channel[c];
      if (count + n > kChargeAggregateMax) {
        rc = kDgtzInvalidBuffer;
        return false;
      }
      for (std::uint32_t i = 0; i < n; ++i) {
        ChargeRecord& r = events->Channel[c][count++];
        const std::uint32_t bits = format::word(e, w++);
        std::memcpy(&r.Charge, &bits, 4);
        r.TimeTag = format::word(e, w++);
      }
    }
    return true;
  });
  if (!ok && rc == kDgtzSuccess) rc = kDgtzInvalidBuffer;
  if (rc != kDgtzSuccess) std::fill_n(num_events_per_channel, kMaxBoardChannels, 0u);
  return done(rc);
}

int SimulatedBoard::SetDPPParameters(int handle, std::uint32_t channel_mask,
                                     const ChargeModeParams& params) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (params.BaselineSamples < 0 || params.BaselineSamples > kCells) {
    rc = kDgtzInvalidParam;
  } else {
    for (int c = 0; c < channels(); ++c) {
      if (!(channel_mask & (1u << c))) continue;
      ch_[c].charge_start = std::max(0, params.StartCell[c]);
      ch_[c].charge_length = params.Length[c];
    }
    if (channel_mask != 0) charge_baseline_samples_ = params.BaselineSamples;
  }
  lock.unlock();
  return record_call("SetDPPParameters", {handle, channel_mask}, rc);
}

// ---- trigger ------------------------------------------------------------------------------------

int SimulatedBoard::check_channel(std::uint32_t channel) const {
  return channel < static_cast<std::uint32_t>(channels()) ? kDgtzSuccess : kDgtzInvalidParam;
}

int SimulatedBoard::SetSWTriggerMode(int handle, int mode) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else if (mode < 0 || mode > 3)
    rc = kDgtzInvalidParam;
  else
    sw_trigger_mode_ = mode;
  lock.unlock();
  return record_call("SetSWTriggerMode", {handle, mode}, rc);
}

int SimulatedBoard::SetExtTriggerInputMode(int handle, int mode) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (mode < 0 || mode > 3) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    ext_trigger_mode_ = mode;
    recompute_rates();
  }
  lock.unlock();
  return record_call("SetExtTriggerInputMode", {handle, mode}, rc);
}

int SimulatedBoard::SetChannelSelfTrigger(int handle, int mode, std::uint32_t channel_mask) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (mode < 0 || mode > 3) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    for (int c = 0; c < channels(); ++c) {
      if (channel_mask & (1u << c)) ch_[c].self_trigger_mode = mode;
    }
    recompute_rates();
  }
  lock.unlock();
  return record_call("SetChannelSelfTrigger", {handle, mode, channel_mask}, rc);
}

int SimulatedBoard::SetTriggerLogic(int handle, int logic, std::uint32_t majority_level) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (logic < kLogicOr || logic > kLogicMajority ||
             majority_level >= static_cast<std::uint32_t>(blocks_)) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    logic_ = logic;
    majority_ = majority_level;
    recompute_rates();
  }
  lock.unlock();
  return record_call("SetTriggerLogic", {handle, logic, majority_level}, rc);
}

int SimulatedBoard::GetTriggerLogic(int handle, int* logic, std::uint32_t* majority_level) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (logic == nullptr || majority_level == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    *logic = logic_;
    *majority_level = majority_;
  }
  lock.unlock();
  return record_call("GetTriggerLogic", {handle}, rc);
}

int SimulatedBoard::SetChannelPairTriggerLogic(int handle, std::uint32_t channel_a,
                                               std::uint32_t channel_b, int logic,
                                               std::uint16_t coincidence_window_ns) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (check_channel(channel_b) != kDgtzSuccess || channel_a % 2 != 0 ||
             channel_b != channel_a + 1 || (logic != kLogicOr && logic != kLogicAnd)) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    grp_[channel_a / 2].pair_logic = logic;
    grp_[channel_a / 2].window_ns = coincidence_window_ns;
    recompute_rates();
  }
  lock.unlock();
  return record_call("SetChannelPairTriggerLogic",
                     {handle, channel_a, channel_b, logic, coincidence_window_ns}, rc);
}

int SimulatedBoard::GetChannelPairTriggerLogic(int handle, std::uint32_t channel_a,
                                               std::uint32_t channel_b, int* logic,
                                               std::uint16_t* coincidence_window_ns) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (check_channel(channel_b) != kDgtzSuccess || channel_a % 2 != 0 ||
             channel_b != channel_a + 1 || logic == nullptr || coincidence_window_ns == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    *logic = grp_[channel_a / 2].pair_logic;
    *coincidence_window_ns = grp_[channel_a / 2].window_ns;
  }
  lock.unlock();
  return record_call("GetChannelPairTriggerLogic", {handle, channel_a, channel_b}, rc);
}

int SimulatedBoard::SetTriggerPolarity(int handle, std::uint32_t channel, int polarity) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (check_channel(channel) != kDgtzSuccess ||
             (polarity != kPolarityRisingEdge && polarity != kPolarityFallingEdge)) {
    rc = kDgtzInvalidParam;
  } else {
    ch_[channel].polarity = polarity;
  }
  lock.unlock();
  return record_call("SetTriggerPolarity", {handle, channel, polarity}, rc);
}

int SimulatedBoard::SetIOLevel(int handle, int level) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else if (level != 0 && level != 1)
    rc = kDgtzInvalidParam;
  else
    io_level_ = level;
  lock.unlock();
  return record_call("SetIOLevel", {handle, level}, rc);
}

int SimulatedBoard::SetTriggerInAsGate(int handle, int gate) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (gate != 0 && gate != 1) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    trigger_in_as_gate_ = gate;
    recompute_rates();
  }
  lock.unlock();
  return record_call("SetTriggerInAsGate", {handle, gate}, rc);
}

int SimulatedBoard::SetSAMTriggerCountVetoParam(int handle, int channel, int enable,
                                                std::uint32_t veto_window_ns) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (channel < 0 || check_channel(static_cast<std::uint32_t>(channel)) != kDgtzSuccess ||
             veto_window_ns > 0xFFFF) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    ch_[channel].veto_enable = enable != 0 ? 1 : 0;
    ch_[channel].veto_window_ns = veto_window_ns;
    recompute_rates();
  }
  lock.unlock();
  return record_call("SetSAMTriggerCountVetoParam", {handle, channel, enable, veto_window_ns}, rc);
}

int SimulatedBoard::GetSAMTriggerCountVetoParam(int handle, int channel, int* enable,
                                                std::uint32_t* veto_window_ns) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (channel < 0 || check_channel(static_cast<std::uint32_t>(channel)) != kDgtzSuccess ||
             enable == nullptr || veto_window_ns == nullptr) {
    rc = kDgtzInvalidParam;
  } else {
    *enable = ch_[channel].veto_enable;
    *veto_window_ns = ch_[channel].veto_window_ns;
  }
  lock.unlock();
  return record_call("GetSAMTriggerCountVetoParam", {handle, channel}, rc);
}

// ---- SAM chips and DACs -------------------------------------------------------------------------

int SimulatedBoard::SetSAMSamplingFrequency(int handle, int frequency) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (frequency < 0 || frequency > 3) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    frequency_ = frequency;
  }
  lock.unlock();
  return record_call("SetSAMSamplingFrequency", {handle, frequency}, rc);
}

int SimulatedBoard::SetSAMPostTriggerSize(int handle, int sam_index, std::uint8_t value) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else if (sam_index < 0 || sam_index >= blocks_)
    rc = kDgtzInvalidParam;
  else
    grp_[sam_index].post_trigger = value;
  lock.unlock();
  return record_call("SetSAMPostTriggerSize", {handle, sam_index, value}, rc);
}

int SimulatedBoard::SetSAMCorrectionLevel(int handle, int level) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else if (level < kCorrectionDisabled || level > kCorrectionAll)
    rc = kDgtzInvalidParam;
  else
    correction_level_ = level;
  lock.unlock();
  return record_call("SetSAMCorrectionLevel", {handle, level}, rc);
}

int SimulatedBoard::EnableSAMPulseGen(int handle, int channel, std::uint16_t pattern, int source) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (channel < 0 || check_channel(static_cast<std::uint32_t>(channel)) != kDgtzSuccess) {
    rc = kDgtzInvalidParam;
  } else {
    ch_[channel].pulser_enable = 1;
    ch_[channel].pulser_pattern = pattern;
    ch_[channel].pulser_source = source;
  }
  lock.unlock();
  return record_call("EnableSAMPulseGen", {handle, channel, pattern, source}, rc);
}

int SimulatedBoard::DisableSAMPulseGen(int handle, int channel) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else if (channel < 0 || check_channel(static_cast<std::uint32_t>(channel)) != kDgtzSuccess)
    rc = kDgtzInvalidParam;
  else
    ch_[channel].pulser_enable = 0;
  lock.unlock();
  return record_call("DisableSAMPulseGen", {handle, channel}, rc);
}

int SimulatedBoard::LoadSAMCorrectionData(int handle) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else
    load_corrections();
  lock.unlock();
  return record_call("LoadSAMCorrectionData", {handle}, rc);
}

int SimulatedBoard::SetGroupEnableMask(int handle, std::uint32_t mask) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else if (mask > 0xFF)
    rc = kDgtzInvalidParam;
  else
    group_mask_ = mask;
  lock.unlock();
  return record_call("SetGroupEnableMask", {handle, mask}, rc);
}

int SimulatedBoard::SetRecordLength(int handle, std::uint32_t samples) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (samples < 16 || samples > kCells || samples % 16 != 0) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    record_length_ = samples;
  }
  lock.unlock();
  return record_call("SetRecordLength", {handle, samples}, rc);
}

int SimulatedBoard::SetChannelDCOffset(int handle, std::uint32_t channel, std::uint32_t code) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (check_channel(channel) != kDgtzSuccess || code > 0xFFFF) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    ch_[channel].offset_code = code;
    ch_[channel].baseline_dirty = true;
    recompute_rates();
  }
  lock.unlock();
  return record_call("SetChannelDCOffset", {handle, channel, code}, rc);
}

int SimulatedBoard::SetChannelTriggerThreshold(int handle, std::uint32_t channel,
                                               std::uint32_t code) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (check_channel(channel) != kDgtzSuccess || code > 0xFFFF) {
    rc = kDgtzInvalidParam;
  } else {
    advance(now());
    ch_[channel].threshold_code = code;
    recompute_rates();
  }
  lock.unlock();
  return record_call("SetChannelTriggerThreshold", {handle, channel, code}, rc);
}

// ---- EEPROM -------------------------------------------------------------------------------------

int SimulatedBoard::Read_EEPROM(int handle, int daughter_board, std::uint16_t address,
                                std::uint32_t count, unsigned char* buffer) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (buffer == nullptr || daughter_board < 0 || daughter_board >= blocks_ / 2 ||
             address + static_cast<std::uint64_t>(count) > kEepromSize) {
    rc = kDgtzInvalidParam;
  } else if (!eeprom_.read(daughter_board, address, count, buffer)) {
    rc = kDgtzCommError;
  }
  lock.unlock();
  return record_call("Read_EEPROM", {handle, daughter_board, address, count}, rc);
}

int SimulatedBoard::Write_EEPROM(int handle, int daughter_board, std::uint16_t address,
                                 std::uint32_t count, const unsigned char* buffer) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle)) {
    rc = kDgtzInvalidHandle;
  } else if (buffer == nullptr || daughter_board < 0 || daughter_board >= blocks_ / 2 ||
             address + static_cast<std::uint64_t>(count) > kEepromSize) {
    rc = kDgtzInvalidParam;
  } else if (!eeprom_.write(daughter_board, address, count, buffer)) {
    rc = kDgtzCommError;
  }
  lock.unlock();
  return record_call("Write_EEPROM", {handle, daughter_board, address, count}, rc);
}

int SimulatedBoard::TriggerThreshold(int handle, int enable) {
  std::unique_lock lock(mutex_);
  int rc = kDgtzSuccess;
  if (!valid(handle))
    rc = kDgtzInvalidHandle;
  else
    threshold_scan_flag_ = enable;
  lock.unlock();
  return record_call("TriggerThreshold", {handle, enable}, rc);
}

}  // namespace vx::sim
