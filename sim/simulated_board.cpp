// The simulated board's construction, the quantities derived from its settings, and the
// library calls that connect it, describe it and reach its registers and EEPROMs.
#include "sim/simulated_board.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "sim/board_constants.h"
#include "sim/eeprom_image.h"
#include "sim/event_format.h"

namespace vx::sim {
namespace {

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

bool valid_ipv4(const std::string& text) {
  unsigned a, b, c, d;
  char tail;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) return false;
  return a < 256 && b < 256 && c < 256 && d < 256;
}

}  // namespace

SimulatedBoard::SimulatedBoard(SimConfig config, std::filesystem::path user_data_dir,
                               std::shared_ptr<Clock> clock)
    : config_(std::move(config)),
      clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      blocks_(config_.model == "DT5743" ? 4 : 8),
      truth_(make_board_imperfections(config_.board_id, 2 * blocks_)),
      eeprom_(std::move(user_data_dir), config_.model, config_.board_id, blocks_ / 2,
              [this](int d) {
                return factory_eeprom(truth_, config_.board_id, d, config_.factory_inl_error_ps);
              }),
      arrival_rng_(config_.seed, kArrivalStream),
      counter_rng_(config_.seed, kCounterStream) {
  for (int c = 0; c < channels(); ++c) {
    inputs_[c] = ChannelInput::from(config_.channel[c]);
    // Channels with the same pulse share one shape table: sixteen copies of it would not
    // stay in the cache that every sample of a pulse reads.
    const ChannelSignal& s = config_.channel[c];
    for (int o = 0; o < c && inputs_[c].shape; ++o) {
      const ChannelSignal& t = config_.channel[o];
      if (inputs_[o].shape && t.pulse_rise_ns == s.pulse_rise_ns &&
          t.pulse_fall_ns == s.pulse_fall_ns) {
        inputs_[c].shape = inputs_[o].shape;
        break;
      }
    }
  }
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

int SimulatedBoard::check_channel(std::uint32_t channel) const {
  return channel < static_cast<std::uint32_t>(channels()) ? kDgtzSuccess : kDgtzInvalidParam;
}

// ---- connection -------------------------------------------------------------------------------

DgtzResult SimulatedBoard::OpenDigitizer2(int link_type, const LinkArg& link_arg, int conet_node,
                                          std::uint32_t vme_base_address, int* handle) {
  const bool desktop = blocks_ == 4;
  const std::int64_t link_number =
      std::holds_alternative<std::uint32_t>(link_arg)
          ? static_cast<std::int64_t>(std::get<std::uint32_t>(link_arg))
          : std::int64_t{-1};
  const std::string text =
      std::holds_alternative<std::string>(link_arg) ? std::get<std::string>(link_arg) : "";
  const auto open = [&]() -> int {
    if (handle == nullptr) return kDgtzInvalidParam;
    *handle = -1;
    if (open_) return kDgtzAlreadyOpen;
    const bool known_link = link_type == kLinkUsb || link_type == kLinkOptical ||
                            link_type == kLinkUsbA4818 || link_type == kLinkEthV4718 ||
                            link_type == kLinkUsbV4718;
    // The desktop unit has USB and optical ports of its own but never sits behind a VME bridge.
    if (!known_link || (desktop && (link_type == kLinkEthV4718 || link_type == kLinkUsbV4718))) {
      return kDgtzInvalidLinkType;
    }
    if (link_type == kLinkEthV4718 ? !valid_ipv4(text) : link_number < 0) {
      return kDgtzInvalidParam;
    }
    if ((link_type == kLinkUsb || link_type == kLinkOptical) && link_number > 255) {
      return kDgtzInvalidParam;
    }
    if (conet_node < 0 || conet_node > 255) return kDgtzInvalidParam;
    if (desktop) {
      if (vme_base_address != 0) return kDgtzBoardNotFound;
    } else {
      // The VME unit is reached directly only through its own optical port (base 0); every
      // other way goes through a bridge that addresses it by its base address.
      const bool direct = link_type == kLinkOptical && vme_base_address == 0;
      if (!direct && vme_base_address != config_.vme_base_address) return kDgtzBoardNotFound;
    }
    if (config_.fault.fail_open) return kDgtzCommError;

    eeprom_.ensure_present();
    load_corrections();
    open_ = true;
    handle_ = 0;
    *handle = handle_;
    return kDgtzSuccess;
  };
  return locked_call(open);
}

DgtzResult SimulatedBoard::GetInfo(int handle, BoardInfo* info) {
  return board_call(handle, [&] {
    if (info == nullptr) return kDgtzInvalidParam;
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
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::CloseDigitizer(int handle) {
  return board_call(handle, [&] {
    acquiring_ = false;
    pending_.clear();
    open_ = false;
    handle_ = -1;
    return kDgtzSuccess;
  });
}

// ---- registers ----------------------------------------------------------------------------------

template <typename Access>
int SimulatedBoard::register_access(std::uint32_t address, bool param_ok, Access&& access) {
  int rc = kDgtzSuccess;
  if (!param_ok || address > 0xFFFF) {
    rc = kDgtzInvalidParam;
  } else if (++register_accesses_ == config_.fault.fail_register_access) {
    rc = kDgtzCommError;
  } else {
    rc = access();
  }
  bus_time_ += config_.register_access_us * 1e-6;
  return rc;
}

DgtzResult SimulatedBoard::ReadRegister(int handle, std::uint32_t address, std::uint32_t* value) {
  return board_call(handle, [&] {
    return register_access(address, value != nullptr,
                           [&] { return register_read(address, value); });
  });
}

DgtzResult SimulatedBoard::WriteRegister(int handle, std::uint32_t address, std::uint32_t value) {
  return board_call(handle, [&] {
    return register_access(address, true, [&] {
      const int rc = register_write(address, value);
      recompute_rates();
      return rc;
    });
  });
}

// ---- EEPROM -------------------------------------------------------------------------------------

bool SimulatedBoard::eeprom_range_ok(int daughter_board, std::uint16_t address,
                                     std::uint32_t count) const {
  return daughter_board >= 0 && daughter_board < blocks_ / 2 &&
         address + static_cast<std::uint64_t>(count) <= kEepromSize;
}

DgtzResult SimulatedBoard::Read_EEPROM(int handle, int daughter_board, std::uint16_t address,
                                       std::uint32_t count, unsigned char* buffer) {
  return board_call(handle, [&] {
    if (buffer == nullptr || !eeprom_range_ok(daughter_board, address, count)) {
      return kDgtzInvalidParam;
    }
    const auto& from = config_.fault.fail_eeprom_read_from;
    if (from && count > 1 && address >= *from) return kDgtzCommError;
    return eeprom_.read(daughter_board, address, count, buffer) ? kDgtzSuccess : kDgtzCommError;
  });
}

DgtzResult SimulatedBoard::Write_EEPROM(int handle, int daughter_board, std::uint16_t address,
                                        std::uint32_t count, const unsigned char* buffer) {
  return board_call(handle, [&] {
    if (buffer == nullptr || !eeprom_range_ok(daughter_board, address, count)) {
      return kDgtzInvalidParam;
    }
    if (++eeprom_writes_ == config_.fault.fail_eeprom_write) return kDgtzCommError;
    return eeprom_.write(daughter_board, address, count, buffer) ? kDgtzSuccess : kDgtzCommError;
  });
}

KnownInputs SimulatedBoard::Known_Inputs() const {
  KnownInputs inputs{};
  if (config_.discriminator_after_offset) return inputs;
  for (std::size_t ch = 0; ch < inputs.size(); ++ch) {
    const ChannelSignal& s = config_.channel[ch];
    InputSignal& in = inputs[ch];
    switch (s.input) {
      case InputKind::kNone:
        in.kind = InputSignal::Kind::kNone;
        break;
      case InputKind::kSine:
        in.kind = InputSignal::Kind::kSine;
        in.excursion_v = s.sine_amplitude_mv / 1000.0;
        break;
      case InputKind::kPulse:
        in.kind = InputSignal::Kind::kPulse;
        in.excursion_v = (s.pulse_polarity == PulsePolarity::kNegative ? -1.0 : 1.0) *
                         s.pulse_amplitude_mv / 1000.0;
        break;
    }
  }
  return inputs;
}

}  // namespace vx::sim
