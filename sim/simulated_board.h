// The simulated x743 board behind the digitizer-library interface: register file, triggers,
// board memory with dead time, signal synthesis with the imperfections the calibrations
// measure, the library's pedestal and INL corrections, EEPROMs persisted under the user data
// directory, firmware charge mode and fault injection. Events happen in the injected clock's
// time; everything random is derived from the configured seed. The library calls live in
// simulated_board*.cpp, the model behind them in board_*.cpp (registers, trigger and memory,
// event encoding).
#pragma once

#include <array>
#include <deque>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/clock.h"
#include "platform/digitizer.h"
#include "sim/board_imperfections.h"
#include "sim/eeprom_store.h"
#include "sim/hit_counter.h"
#include "sim/signal_model.h"
#include "sim/sim_config.h"
#include "sim/sim_random.h"

namespace vx::sim {

class SimulatedBoard final : public Digitizer {
 public:
  // user_data_dir holds the persisted EEPROMs (in its SimBoard folder). Without a clock the
  // board runs on the system's monotonic clock.
  SimulatedBoard(SimConfig config, std::filesystem::path user_data_dir,
                 std::shared_ptr<Clock> clock = nullptr);
  ~SimulatedBoard() override;
  SimulatedBoard(const SimulatedBoard&) = delete;
  SimulatedBoard& operator=(const SimulatedBoard&) = delete;

  int blocks() const { return blocks_; }
  int channels() const { return 2 * blocks_; }
  const SimConfig& config() const { return config_; }
  const BoardImperfections& imperfections() const { return truth_; }
  // The raw level of each physical cell of a channel with no signal, as the unit stands now:
  // its pedestals moved by the SAM line DACs and the DC offset loaded. In counts.
  std::array<float, kCells> cell_levels(int channel);
  std::filesystem::path eeprom_file(int daughter) const { return eeprom_.file(daughter); }
  // The code a channel's threshold DAC holds (for tests checking what reached the board).
  std::uint32_t threshold_dac(int channel) const;
  // What the configuration makes each input carry (unknown when the discriminators see the
  // offset-shifted signal: then the threshold alone says nothing).
  KnownInputs Known_Inputs() const override;

  DgtzResult OpenDigitizer2(int link_type, const LinkArg& link_arg, int conet_node,
                            std::uint32_t vme_base_address, int* handle) override;
  DgtzResult GetInfo(int handle, BoardInfo* info) override;
  DgtzResult CloseDigitizer(int handle) override;
  DgtzResult ReadRegister(int handle, std::uint32_t address, std::uint32_t* value) override;
  DgtzResult WriteRegister(int handle, std::uint32_t address, std::uint32_t value) override;

  DgtzResult SetMaxNumEventsBLT(int handle, std::uint32_t max_events) override;
  DgtzResult MallocReadoutBuffer(int handle, ReadoutBuffer* buffer) override;
  DgtzResult FreeReadoutBuffer(int handle, ReadoutBuffer* buffer) override;
  DgtzResult ReadData(int handle, int mode, ReadoutBuffer* buffer) override;
  DgtzResult GetNumEvents(int handle, const ReadoutBuffer& buffer,
                          std::uint32_t* num_events) override;
  DgtzResult GetEventInfo(int handle, const ReadoutBuffer& buffer, std::int32_t index,
                          EventInfo* info, const char** event_ptr) override;
  DgtzResult AllocateEvent(int handle, Event743** event) override;
  DgtzResult DecodeEvent(int handle, const char* event_ptr, Event743** event) override;
  DgtzResult FreeEvent(int handle, Event743** event) override;
  DgtzResult ClearData(int handle) override;
  DgtzResult SWStartAcquisition(int handle) override;
  DgtzResult SWStopAcquisition(int handle) override;
  DgtzResult SendSWtrigger(int handle) override;
  DgtzResult SendSAMPulse(int handle) override;

  DgtzResult SetSAMAcquisitionMode(int handle, int mode) override;
  DgtzResult MallocDPPEvents(int handle, ChargeEvents* events, std::uint32_t* size) override;
  DgtzResult FreeDPPEvents(int handle, ChargeEvents* events) override;
  DgtzResult GetDPPEvents(int handle, const ReadoutBuffer& buffer, ChargeEvents* events,
                          std::uint32_t* num_events_per_channel) override;
  DgtzResult SetDPPParameters(int handle, std::uint32_t channel_mask,
                              const ChargeModeParams& params) override;

  DgtzResult SetSWTriggerMode(int handle, int mode) override;
  DgtzResult SetExtTriggerInputMode(int handle, int mode) override;
  DgtzResult SetChannelSelfTrigger(int handle, int mode, std::uint32_t channel_mask) override;
  DgtzResult SetTriggerLogic(int handle, int logic, std::uint32_t majority_level) override;
  DgtzResult GetTriggerLogic(int handle, int* logic, std::uint32_t* majority_level) override;
  DgtzResult SetChannelPairTriggerLogic(int handle, std::uint32_t channel_a,
                                        std::uint32_t channel_b, int logic,
                                        std::uint16_t coincidence_window_ns) override;
  DgtzResult GetChannelPairTriggerLogic(int handle, std::uint32_t channel_a,
                                        std::uint32_t channel_b, int* logic,
                                        std::uint16_t* coincidence_window_ns) override;
  DgtzResult SetTriggerPolarity(int handle, std::uint32_t channel, int polarity) override;
  DgtzResult SetIOLevel(int handle, int level) override;
  DgtzResult SetTriggerInAsGate(int handle, int gate) override;
  DgtzResult SetSAMTriggerCountVetoParam(int handle, int channel, int enable,
                                         std::uint32_t veto_window_ns) override;
  DgtzResult GetSAMTriggerCountVetoParam(int handle, int channel, int* enable,
                                         std::uint32_t* veto_window_ns) override;

  DgtzResult SetSAMSamplingFrequency(int handle, int frequency) override;
  DgtzResult SetSAMPostTriggerSize(int handle, int sam_index, std::uint8_t value) override;
  DgtzResult SetSAMCorrectionLevel(int handle, int level) override;
  DgtzResult EnableSAMPulseGen(int handle, int channel, std::uint16_t pattern, int source) override;
  DgtzResult DisableSAMPulseGen(int handle, int channel) override;
  DgtzResult LoadSAMCorrectionData(int handle) override;
  DgtzResult SetGroupEnableMask(int handle, std::uint32_t mask) override;
  DgtzResult SetRecordLength(int handle, std::uint32_t samples) override;
  DgtzResult SetChannelDCOffset(int handle, std::uint32_t channel, std::uint32_t code) override;
  DgtzResult SetChannelTriggerThreshold(int handle, std::uint32_t channel,
                                        std::uint32_t code) override;

  DgtzResult Read_EEPROM(int handle, int daughter_board, std::uint16_t address, std::uint32_t count,
                         unsigned char* buffer) override;
  DgtzResult Write_EEPROM(int handle, int daughter_board, std::uint16_t address,
                          std::uint32_t count, const unsigned char* buffer) override;
  DgtzResult TriggerThreshold(int handle, int enable) override;

 private:
  struct Channel {
    std::uint32_t offset_code = 32767;
    std::uint32_t threshold_code = 32767;
    int polarity = kPolarityRisingEdge;
    int self_trigger_mode = kTrgModeDisabled;
    int veto_enable = 0;
    std::uint32_t veto_window_ns = 0;
    int pulser_enable = 0;
    std::uint16_t pulser_pattern = 0;
    int pulser_source = 0;
    std::int32_t charge_start = 17;
    std::uint16_t charge_length = 1005;
    double hit_rate = 0.0;
    HitCounter register_counter;  // started by the rate-counter registers
    HitCounter event_counter;     // since the previous event
    bool baseline_dirty = true;
    std::array<float, kCells> baseline{};  // raw cell levels by physical cell
    std::vector<float> pedestal_table;     // loaded correction, empty = none
    std::vector<float> cell_error;         // loaded time error of each cell, in periods
  };
  struct Group {
    int pair_logic = kLogicOr;
    std::uint16_t window_ns = 0;
    std::uint8_t post_trigger = 0;
    std::array<std::uint16_t, 0x20> sam_register{};
    std::array<std::array<std::uint8_t, 16>, 2> line_code{};
    std::uint32_t slow_control_address = 0;
  };
  struct Pending {
    double time = 0.0;
    std::uint64_t serial = 0;  // 1-based over the board's life; seeds the event's content
    std::uint32_t counter = 0;
    std::uint64_t tdc = 0;
    std::array<std::uint16_t, 16> hits{};
    std::array<std::uint16_t, 16> micros{};
  };
  // A readout buffer's memory, word-aligned.
  struct BufferMemory {
    std::vector<std::uint32_t> words;
    char* data() { return reinterpret_cast<char*>(words.data()); }
    std::uint32_t bytes() const { return static_cast<std::uint32_t>(4 * words.size()); }
  };

  using Lock = std::unique_lock<std::mutex>;

  // The shape of every library call: under the board's lock, run the body for its result. A
  // body that has to wait may take the lock as its argument and release it meanwhile.
  template <typename Body>
  DgtzResult locked_call(Body&& body) {
    Lock lock(mutex_);
    return run_body(body, lock);
  }
  // The same for a call on the opened board: a handle that is not the board's fails before the
  // body runs.
  template <typename Body>
  DgtzResult board_call(int handle, Body&& body) {
    return locked_call([&](Lock& lock) -> int {
      return valid(handle) ? run_body(body, lock) : kDgtzInvalidHandle;
    });
  }
  template <typename Body>
  static DgtzResult run_body(Body& body, Lock& lock) {
    if constexpr (std::is_invocable_v<Body&, Lock&>) {
      return static_cast<DgtzResult>(body(lock));
    } else {
      return static_cast<DgtzResult>(body());
    }
  }
  // A register access: fails on a bad address or an injected bus fault, and takes the bus
  // time of one access in any case.
  template <typename Access>
  int register_access(std::uint32_t address, bool param_ok, Access&& access);

  bool valid(int handle) const { return open_ && handle == handle_; }
  double now() const;
  double period_ps() const;
  double dead_time_s() const;
  std::size_t memory_capacity() const;
  bool accepting() const;
  std::uint32_t present_groups() const;
  std::uint32_t event_words(std::uint32_t groups) const;
  std::uint32_t max_event_bytes() const;

  void advance(double t);
  void advance_counters(double t);
  void accept_trigger(double t);
  void recompute_rates();
  void reschedule(double t);
  void refresh_baseline(int channel);
  void load_corrections();
  BufferMemory* find_buffer(const char* p);
  const BufferMemory* find_containing(const char* p, std::uint32_t bytes) const;

  int register_read(std::uint32_t address, std::uint32_t* value);
  int register_write(std::uint32_t address, std::uint32_t value);
  void slow_control_write(int group, std::uint32_t data);
  std::uint32_t fill_waveforms(char* out, std::uint32_t capacity);
  std::uint32_t fill_charges(char* out, std::uint32_t capacity);
  void encode_event(const Pending& ev, std::uint32_t groups, bool corrupt, char* out);
  // The samples of one group, corrected; returns the group's sampling period in ps.
  double decode_group(const char* g, int group, GroupEvent743& out);
  // The baseline and charge of every channel of the decoded groups.
  void compute_group_charges(Event743& ev, std::uint32_t groups,
                             const std::array<double, kMaxGroups>& period);
  int check_channel(std::uint32_t channel) const;
  bool signed_channel_ok(int channel) const;
  bool channel_pair(std::uint32_t channel_a, std::uint32_t channel_b) const;
  bool eeprom_range_ok(int daughter_board, std::uint16_t address, std::uint32_t count) const;

  SimConfig config_;
  std::shared_ptr<Clock> clock_;
  int blocks_ = 8;
  BoardImperfections truth_;
  EepromStore eeprom_;
  std::array<ChannelInput, 16> inputs_{};

  mutable std::mutex mutex_;
  bool open_ = false;
  int handle_ = -1;
  double origin_ = 0.0;
  double bus_time_ = 0.0;

  std::array<Channel, 16> ch_{};
  std::array<Group, 8> grp_{};
  std::map<std::uint32_t, std::uint32_t> registers_;
  bool acquiring_ = false;
  bool armed_ = false;
  int sw_trigger_mode_ = kTrgModeAcqOnly;
  int ext_trigger_mode_ = kTrgModeDisabled;
  int logic_ = kLogicOr;
  std::uint32_t majority_ = 0;
  int io_level_ = 0;
  int trigger_in_as_gate_ = 0;
  int frequency_ = 0;
  std::uint32_t record_length_ = kCells;
  std::uint32_t group_mask_ = 0xFF;
  int correction_level_ = kCorrectionAll;
  int acquisition_mode_ = kAcqModeWaveform;
  std::uint32_t max_events_blt_ = 1;
  int threshold_scan_flag_ = 1;
  std::int32_t charge_baseline_samples_ = 16;
  bool corrections_loaded_ = false;

  double counters_time_ = 0.0;
  double acquisition_start_ = 0.0;
  double last_event_time_ = 0.0;
  double trigger_rate_ = 0.0;
  double next_trigger_ = std::numeric_limits<double>::infinity();
  Rng arrival_rng_;
  Rng counter_rng_;
  std::deque<Pending> pending_;
  std::uint64_t accepted_ = 0;
  std::uint64_t delivered_ = 0;
  std::uint64_t register_accesses_ = 0;
  std::uint64_t eeprom_writes_ = 0;
  std::uint64_t readouts_ = 0;
  std::uint32_t event_counter_ = 0;

  std::vector<std::unique_ptr<BufferMemory>> buffers_;
  std::vector<std::unique_ptr<Event743>> events_;
  std::vector<std::unique_ptr<std::vector<ChargeRecord>>> charge_arrays_;
};

}  // namespace vx::sim
