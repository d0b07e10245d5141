#include "app/run_list.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx {
namespace {

constexpr std::size_t kChunk = RunList<float>::kChunkEntries;

// Entry k holds k: every entry held must read its own index back.
void expect_indices(const RunList<float>& list, const char* what) {
  for (std::size_t k = list.first(); k < list.size(); ++k)
    ASSERT_EQ(list[k], static_cast<float>(k)) << what << " entry " << k;
}

TEST(app_run_list, CappedListKeepsTheLatestEntries) {
  struct Case {
    const char* what;
    std::size_t cap, entries;
    bool drops;
  };
  const Case cases[] = {
      {"below the cap: everything", 100000, 3 * kChunk + 17, false},
      {"a cap of one chunk", kChunk, 10 * kChunk + 5, true},
      {"a cap between chunks", 2 * kChunk + 100, 9 * kChunk, true},
      {"a cap of one entry", 1, 3 * kChunk + 1, true},
  };
  for (const Case& c : cases) {
    RunList<float> list;
    list.set_cap(c.cap);
    for (std::size_t k = 0; k < c.entries; ++k) list.push_back(static_cast<float>(k));
    EXPECT_EQ(list.size(), c.entries) << c.what;
    EXPECT_EQ(list.first() % kChunk, 0u) << c.what;
    EXPECT_GE(list.held(), std::min(c.cap, c.entries)) << c.what;
    EXPECT_LT(list.held(), c.cap + 2 * kChunk) << c.what;
    EXPECT_EQ(list.dropped(), c.drops) << c.what;
    expect_indices(list, c.what);
  }
}

// Entries of events where a channel was off: an empty list starts at the chunk of its first
// entry instead of writing what came before; a long gap in a held list fills with the value
// given, unless the cap would drop it at once.
TEST(app_run_list, GapsAreFilledOnlyWhereTheListKeepsThem) {
  const float nan = std::nanf("");
  RunList<float> late;
  late.resize(5 * kChunk + 3, nan);
  late.push_back(1.0f);
  EXPECT_EQ(late.first(), 5 * kChunk);
  EXPECT_EQ(late.size(), 5 * kChunk + 4);
  EXPECT_TRUE(std::isnan(late[5 * kChunk + 2]));
  EXPECT_EQ(late[5 * kChunk + 3], 1.0f);
  EXPECT_FALSE(late.dropped());

  RunList<float> gap;
  gap.set_cap(3 * kChunk);
  for (std::size_t k = 0; k < 10; ++k) gap.push_back(static_cast<float>(k));
  gap.resize(kChunk + 10, nan);  // a short gap: filled
  EXPECT_EQ(gap.first(), 0u);
  EXPECT_TRUE(std::isnan(gap[kChunk + 9]));
  EXPECT_EQ(gap[9], 9.0f);
  gap.resize(20 * kChunk, nan);  // longer than the cap: what was held goes
  EXPECT_TRUE(gap.dropped());
  EXPECT_EQ(gap.size(), 20 * kChunk);
  EXPECT_GE(gap.held(), 3 * kChunk);
  EXPECT_LT(gap.held(), 5 * kChunk);

  gap.release();
  EXPECT_EQ(gap.size(), 0u);
  EXPECT_FALSE(gap.dropped());
  EXPECT_EQ(gap.capacity(), 0u);
}

}  // namespace
}  // namespace vx
