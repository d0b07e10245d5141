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

// "[i]" for an array's element, "[i][j]" for a table's, nothing for a single value.
template <typename T>
std::string index_text(std::size_t i) {
  if constexpr (std::rank_v<T> == 2) {
    constexpr std::size_t inner = std::extent_v<T, 1>;
    return "[" + std::to_string(i / inner) + "][" + std::to_string(i % inner) + "]";
  } else if constexpr (std::rank_v<T> == 1) {
    return "[" + std::to_string(i) + "]";
  }
  return {};
}

// Every field of the record, element by element; texts as a whole.
template <typename Rec>
void compare(const std::string& record, const Rec& before, const Rec& after,
             std::vector<std::string>& out) {
  const auto* a = reinterpret_cast<const unsigned char*>(&before);
  const auto* b = reinterpret_cast<const unsigned char*>(&after);
  Fields<Rec>::visit([&]<typename T>(const FieldInfo& f, auto, std::type_identity<T>) {
    using E = std::remove_all_extents_t<T>;
    const std::string name = record + "." + f.name;
    if constexpr (std::is_same_v<E, char>) {
      if (std::memcmp(a + f.offset, b + f.offset, sizeof(T)) != 0)
        out.push_back(name + ": " + quoted(a + f.offset, sizeof(T)) + " -> " +
                      quoted(b + f.offset, sizeof(T)));
    } else {
      for (std::size_t i = 0; i < kElements<T>; ++i) {
        const std::size_t at = f.offset + i * sizeof(E);
        if (std::memcmp(a + at, b + at, sizeof(E)) == 0) continue;
        out.push_back(name + index_text<T>(i) + ": " +
                      value_text(field_element<T>(a + f.offset, i)) + " -> " +
                      value_text(field_element<T>(b + f.offset, i)));
      }
    }
  });
}

}  // namespace

RestoredRecords snapshot_restored_records(const State& st) {
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
  compare("SystemParams", before.sys, after.sys, out);
  compare("AcqParams", before.acq, after.acq, out);
  for (int b = 0; b < kMaxSamBlocks; ++b)
    compare("SAMBlockParams[" + std::to_string(b) + "]", before.sam[b], after.sam[b], out);
  compare("GuiParams", before.gui, after.gui, out);
  return out;
}

}  // namespace vx::cli
