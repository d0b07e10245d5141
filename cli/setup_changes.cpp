#include "cli/setup_changes.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace vx::cli {

namespace {

template <typename E>
std::string value_text(E v) {
  if constexpr (std::is_floating_point_v<E>) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return text;
  } else {
    return std::to_string(v);
  }
}

std::string quoted(const unsigned char* p, std::size_t size) {
  const auto* c = reinterpret_cast<const char*>(p);
  return "'" + std::string(c, strnlen(c, size)) + "'";
}

// Where an element sits, for a user: a channel for the per-channel arrays (a block's own pair
// counted from the block's first channel), a block for a block's single values, an element
// number for the other arrays; nothing for a record's single value.
template <typename T>
std::string where_text(std::size_t i, int block) {
  using E = std::remove_all_extents_t<T>;
  constexpr std::size_t n = kElements<T>;
  if constexpr (std::is_same_v<E, char>) {
    return block >= 0 ? ", block " + std::to_string(block) : std::string{};
  } else if constexpr (std::rank_v<T> == 0) {
    return block >= 0 ? ", block " + std::to_string(block) : std::string{};
  } else if (block >= 0 && n == kChannelsPerBlock) {
    return ", channel " + std::to_string(block * kChannelsPerBlock + static_cast<int>(i));
  } else if (block < 0 && (n == kMaxChannels ||
                           (std::rank_v<T> == 2 && n == kMaxSamBlocks * kChannelsPerBlock))) {
    return ", channel " + std::to_string(i);
  } else {
    return (block >= 0 ? ", block " + std::to_string(block) : std::string{}) + ", element " +
           std::to_string(i);
  }
}

// Every field of the record, element by element; texts as a whole. `block` is the SAM block
// the record belongs to, or -1 for a record of the whole board.
template <typename Rec>
void compare(const Rec& before, const Rec& after, int block, std::vector<std::string>& out) {
  const auto* a = reinterpret_cast<const unsigned char*>(&before);
  const auto* b = reinterpret_cast<const unsigned char*>(&after);
  Fields<Rec>::visit([&]<typename T>(const FieldInfo& f, auto, std::type_identity<T>) {
    using E = std::remove_all_extents_t<T>;
    if constexpr (std::is_same_v<E, char>) {
      if (std::memcmp(a + f.offset, b + f.offset, sizeof(T)) != 0)
        out.push_back(f.label + where_text<T>(0, block) + ": " + quoted(a + f.offset, sizeof(T)) +
                      " -> " + quoted(b + f.offset, sizeof(T)));
    } else {
      for (std::size_t i = 0; i < kElements<T>; ++i) {
        const std::size_t at = f.offset + i * sizeof(E);
        if (std::memcmp(a + at, b + at, sizeof(E)) == 0) continue;
        out.push_back(f.label + where_text<T>(i, block) + ": " +
                      value_text(field_element<T>(a + f.offset, i)) + " -> " +
                      value_text(field_element<T>(b + f.offset, i)));
      }
    }
  });
}

}  // namespace

RestoredRecords snapshot_restored_records(const Settings& st) {
  RestoredRecords r;
  std::memcpy(&r.sys, &st.sys, sizeof r.sys);
  std::memcpy(&r.acq, &st.acq, sizeof r.acq);
  std::memcpy(r.sam.data(), st.sam.data(), sizeof r.sam);
  std::memcpy(&r.gui, &st.gui, sizeof r.gui);
  return r;
}

std::vector<std::string> describe_changes(const RestoredRecords& before,
                                          const RestoredRecords& after) {
  std::vector<std::string> out;
  compare(before.sys, after.sys, -1, out);
  compare(before.acq, after.acq, -1, out);
  for (int b = 0; b < kMaxSamBlocks; ++b) compare(before.sam[b], after.sam[b], b, out);
  compare(before.gui, after.gui, -1, out);
  return out;
}

}  // namespace vx::cli
