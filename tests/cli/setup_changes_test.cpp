// What "setup load" lists of a setup's changes, and the setup file a fresh start saves.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <type_traits>

#include "cli/setup_changes.h"
#include "files/setup_file.h"
#include "support/cli_process.h"
#include "support/file_text.h"
#include "support/test_state.h"

namespace vx {
namespace {

// Every element of every field, changed alone, is listed alone, by its label, and the labels
// of the restored records tell every field apart.
template <typename Get>
void expect_each_field_listed(Get record, std::set<std::string>& labels) {
  using Rec = std::remove_reference_t<decltype(record(std::declval<cli::RestoredRecords&>()))>;
  Fields<Rec>::visit([&]<typename T>(const FieldInfo& f, auto, std::type_identity<T>) {
    using E = std::remove_all_extents_t<T>;
    const std::size_t last = std::is_same_v<E, char> ? 0 : kElements<T> - 1;
    cli::RestoredRecords before{}, after{};
    auto* bytes = reinterpret_cast<unsigned char*>(&record(after)) + f.offset;
    bytes[last * sizeof(E)] = 0x41;  // 'A', 65, or a tiny float or double
    const auto lines = cli::describe_changes(before, after);
    ASSERT_EQ(lines.size(), 1u) << f.name;
    EXPECT_EQ(lines[0].rfind(f.label, 0), 0u) << lines[0];
    EXPECT_TRUE(labels.insert(f.label).second) << f.name << " shares its label: " << f.label;
  });
}

TEST(SetupChanges, EveryFieldIsListedByItsLabelWithItsValues) {
  std::set<std::string> labels;
  expect_each_field_listed(
      [](auto& r) -> auto& { return r.sys; }, labels);
  expect_each_field_listed(
      [](auto& r) -> auto& { return r.acq; }, labels);
  expect_each_field_listed(
      [](auto& r) -> auto& { return r.sam[5]; }, labels);
  expect_each_field_listed(
      [](auto& r) -> auto& { return r.gui; }, labels);

  cli::RestoredRecords before{}, after{};
  set_text(before.acq.BaseFileName, "veltrix");
  set_text(after.acq.BaseFileName, "beam");
  after.sys.TriggerSource = 1;
  after.acq.CFDRatio = 0.25f;
  after.acq.PulseThreshold[6][1] = -81.5f;
  after.sam[7].DCOffset[1] = 0.125f;
  after.sam[2].RecordLength16 = 40;
  after.sam[3].SamDacOffsetCh1[9] = 7;
  after.gui.TimeHistoMax = 1e-9;
  after.gui.RateStripChartChannel = -1;
  after.gui.ChannelEnabled[12] = 1;
  const auto lines = cli::describe_changes(before, after);
  const std::vector<std::string> expected = {
      "Trigger source: 0 -> 1",
      "Constant-fraction ratio: 0 -> 0.25",
      "Pulse threshold (ADC counts), channel 13: 0 -> -81.5",
      "Base file name: 'veltrix' -> 'beam'",
      "Record length (16-sample units), block 2: 0 -> 40",
      "SAM DAC offsets, second channel, block 3, element 9: 0 -> 7",
      "DC offset (V), channel 15: 0 -> 0.125",
      "Channel enabled, channel 12: 0 -> 1",
      "Time histogram maximum (ns): 0 -> 1e-09",
      "Rate strip chart channel: 0 -> -1",
  };
  EXPECT_EQ(lines, expected);
}

// The records of a setup file with the data directory blanked: it names the user's folder.
std::string records_without_data_directory(const std::string& file) {
  std::string bytes = from_text_mode(file);
  const std::size_t images = bytes.find('\n', bytes.find('\n') + 1) + 1;
  const std::size_t at =
      images + sizeof(BoardParams) + sizeof(SystemParams) + offsetof(AcqParams, DataDirectory);
  if (at + sizeof(AcqParams::DataDirectory) <= bytes.size())
    std::memset(bytes.data() + at, 0, sizeof(AcqParams::DataDirectory));
  return bytes;
}

// A fresh start's setup, saved by the program before its records' tables were rewritten: the
// layout and every default stay as they were.
TEST(SetupChanges, AFreshSetupIsSavedByteForByteAsBefore) {
  test::TempDir dir;
  const auto saved = dir.path() / "fresh.set";
  const auto r = test::run_cli("--user-dir " + test::quoted(dir.path() / "user") + " setup save " +
                               test::quoted(saved));
  ASSERT_EQ(r.rc, 0) << r.out;
  const std::string before =
      test::read_file(std::filesystem::path(VELTRIX_TEST_DATA) / "default_setup_v1743.set");
  ASSERT_EQ(before.size(), 4857u);
  const std::string now = test::read_file(saved);
  ASSERT_EQ(now.size(), before.size());
  EXPECT_TRUE(records_without_data_directory(now) == records_without_data_directory(before));
}

}  // namespace
}  // namespace vx
