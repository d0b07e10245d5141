#include "app/parameters.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <type_traits>

#include "app/register_images.h"

namespace vx {

namespace {

// A field's default, given to every element of an array.
template <typename T>
void apply_default(unsigned char*, Kept) {}
template <typename T>
void apply_default(unsigned char* at, const char* text) {
  static_assert(std::is_same_v<std::remove_all_extents_t<T>, char>);
  char field[sizeof(T)];
  set_text(field, text);
  std::memcpy(at, field, sizeof field);
}
template <typename T, typename V>
requires std::is_arithmetic_v<V> || std::is_enum_v<V>
void apply_default(unsigned char* at, V value) {
  for (std::size_t i = 0; i < kElements<T>; ++i)
    set_field_element<T>(at, i, static_cast<std::remove_all_extents_t<T>>(value));
}

template <typename Rec>
void apply_defaults(Rec& rec) {
  auto* bytes = reinterpret_cast<unsigned char*>(&rec);
  Fields<Rec>::visit([&]<typename T>(const FieldInfo& f, auto def, std::type_identity<T>) {
    apply_default<T>(bytes + f.offset, def);
  });
}

}  // namespace

void Init_Params(State& st) {
  apply_defaults(st.sys);
  apply_defaults(st.acq);
  apply_defaults(st.board);
  const std::filesystem::path data_dir = st.UserPath / "RunData";
  set_text(st.acq.DataDirectory, data_dir.string().c_str());
  std::error_code ec;
  std::filesystem::create_directories(data_dir, ec);  // a failure shows when saving
  // A registered server outlives a reconnection of the board, and so does its record.
  if (!st.remote.server) apply_defaults(st.tcp);
  for (auto& blk : st.sam) {
    apply_defaults(blk);
    blk.TriggerGateLength = static_cast<std::uint8_t>(st.sys.PrimitivesGateLength);
    Build_RegisterImages(blk, st.sys);
  }
  st.sys.RecordLength = 16 * st.sam[0].RecordLength16;
  // The panel's thresholds start at the blocks' trigger thresholds, within reach of their
  // offsets.
  apply_defaults(st.gui);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const SAMBlockParams& k = st.sam[ch / 2];
    st.gui.ThresholdVolts[ch] = k.TriggerThreshold[ch % 2];
    st.gui.ThresholdMin[ch] = k.DCOffset[ch % 2] - 1.25f;
    st.gui.ThresholdMax[ch] = k.DCOffset[ch % 2] + 1.25f;
  }

  call(st.hooks.recompute_main_graph);
  // Noise is measured where the record holds no pulse: on the leading samples that the
  // baseline is taken from, before the trigger position.
  st.StartSigmaSample = 0;
  st.EndSigmaSample = std::clamp(int{st.acq.NbOfBinsForBaseline}, 2, int{st.sys.RecordLength}) - 1;
  st.ui.refresh_panel(Panel::AllValues);
  if (st.Board_Connected.load() == 1) call(st.hooks.apply_enabled_blocks);
}

void Save_Params(Settings& st, Snapshot which) {
  ParamRecords& saved = st.saved(which);
  std::memcpy(&saved.board, &st.board, sizeof st.board);
  std::memcpy(&saved.acq, &st.acq, sizeof st.acq);
  std::memcpy(&saved.sys, &st.sys, sizeof st.sys);
  std::memcpy(&saved.gui, &st.gui, sizeof st.gui);
  const int blocks = board_blocks(st);
  std::copy_n(st.sam.begin(), blocks, saved.sam.begin());
}

void Restore_Params(Settings& st, FrontEndLinks& links, Snapshot which) {
  const ParamRecords& saved = st.saved(which);
  std::memcpy(&st.board, &saved.board, sizeof st.board);
  std::memcpy(&st.acq, &saved.acq, sizeof st.acq);
  std::memcpy(&st.sys, &saved.sys, sizeof st.sys);
  std::memcpy(&st.gui, &saved.gui, sizeof st.gui);
  const int blocks = board_blocks(st);
  std::copy_n(saved.sam.begin(), blocks, st.sam.begin());

  call(links.hooks.apply_all_board_parameters);
  call(links.hooks.recompute_main_graph);
  call(links.hooks.refresh_annotations);
  links.ui.refresh_panel(Panel::AllValues);
}

}  // namespace vx
