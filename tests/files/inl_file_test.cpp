#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "files/inl_file.h"
#include "support/file_text.h"
#include "support/test_state.h"

namespace vx {
namespace {

using test::read_file;
using test::write_file;

std::string last_message(test::TestCore& core) {
  const auto m = core.ui.messages();
  return m.empty() ? std::string() : m.back().text;
}

TEST(InlFile, LayoutNameAndRoundTrip) {
  test::TestCore core;
  State& st = core.state;
  st.BoardVersionFromFPGA[3] = 0x1A;
  EXPECT_EQ(Inl_FilePath(st, st, 3, 1),
            st.UserPath / "INL_Files" / "INL_Calib_V1a-SAMBlock_3_Ch1.txt");

  auto& table = st.calib.TimePedestals[3][1];
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> value(-2000.0, 2000.0);
  for (auto& v : table) v = value(rng);
  table[0] = -12.3456;
  table[1] = 12345.678;
  table[2] = 0.0;
  table[3] = 5.0004;
  ASSERT_EQ(Save_INL_In_File(st, 3, 1), 1);
  const std::string text = read_file(Inl_FilePath(st, st, 3, 1));
  const std::string head = "Calibration values (ps) from cell 0 to 1023 : \r\n\r\n";
  EXPECT_EQ(text.substr(0, head.size() + 40),
            head + "-0012.346\t12345.678\t00000.000\t00005.000\t");
  EXPECT_NE(text.find("\tcell = 0 to 7\r\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("\tcell = 1016 to 1023\r\n"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 130);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\t'), 1024);

  const auto written = table;
  table.fill(99.0);
  ASSERT_EQ(Veltrix_Read_INL_From_File(st, 3, 1), 1);
  for (int i = 0; i < kMaxSamples; ++i) {
    ASSERT_NEAR(table[i], std::round(written[i] * 1000.0) / 1000.0, 1e-9) << "cell " << i;
  }
  EXPECT_NE(last_message(core).find("INL correction values loaded from file"), std::string::npos);
}

TEST(InlFile, FaultyFilesChangeNothingAndNameTheLine) {
  std::array<double, kMaxSamples> good{};
  for (int i = 0; i < kMaxSamples; ++i) good[i] = 0.25 * i - 100.0;
  const std::string text = Format_INLFile(good);
  const auto line_start = [&](int line) {  // 1-based
    std::size_t at = 0;
    for (int l = 1; l < line; ++l) at = text.find('\n', at) + 1;
    return at;
  };
  const auto replace_field = [&](int line, int field, const std::string& by) {
    std::string t = text;
    const std::size_t at = line_start(line) + 10 * field;
    return t.replace(at, 9, by);
  };
  struct Case {
    const char* name;
    std::string text;
    int line;               // 0: accepted
    const char* told = "";  // in the message besides the line
  };
  std::string lf;
  for (char c : text)
    if (c != '\r') lf += c;
  std::string wide = text;
  wide.replace(line_start(7), 10, "123456.700\t");  // one column wider than the layout
  const Case cases[] = {
      {"LF line ends", lf, 0},
      {"a wide value", wide, 0},
      {"not a number", replace_field(40, 3, "00012x345"), 40},
      // Binary garbage is quoted escaped: nothing cuts or garbles the log line.
      {"binary garbage", replace_field(41, 2, std::string("\x01\0\x1b[2J\xff\r", 8)), 41,
       "value 3 is not a number ('\\x01\\x00\\x1B[2J\\xFF\\r')"},
      {"NaN", replace_field(9, 0, "      nan"), 9},
      {"out of range", replace_field(130, 7, "9.999e+99"), 130},
      {"value missing", std::string(text).erase(line_start(50), 10), 50},
      {"value added", std::string(text).insert(line_start(51), "00001.000\t"), 51},
      {"cut short", text.substr(0, line_start(100)), 100},
      {"text after the table", text + "more\r\n", 131},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestCore core;
    State& st = core.state;
    write_file(Inl_FilePath(st, st, 0, 1), c.text);
    st.calib.TimePedestals[0][1].fill(7.0);
    const int read = Veltrix_Read_INL_From_File(st, 0, 1);
    const auto& table = st.calib.TimePedestals[0][1];
    if (c.line == 0) {
      EXPECT_EQ(read, 1);
      for (int i = 0; i < kMaxSamples; ++i)
        ASSERT_DOUBLE_EQ(table[i], i == 32 && c.text == wide ? 123456.7 : good[i]) << "cell " << i;
      continue;
    }
    EXPECT_EQ(read, 0);
    for (double v : table) ASSERT_EQ(v, 7.0);
    const std::string message = last_message(core);
    EXPECT_NE(message.find(Inl_FilePath(st, st, 0, 1).string()), std::string::npos) << message;
    EXPECT_NE(message.find("line " + std::to_string(c.line) + ":"), std::string::npos) << message;
    EXPECT_NE(message.find(c.told), std::string::npos) << message;
    EXPECT_EQ(core.ui.messages().back().kind, MessageKind::Error);
  }
}

TEST(InlFile, MissingOrEmptyFileZeroesTheTable) {
  for (bool exists : {false, true}) {
    test::TestCore core;
    State& st = core.state;
    if (exists) write_file(Inl_FilePath(st, st, 1, 0), "");
    st.calib.TimePedestals[1][0].fill(3.0);
    EXPECT_EQ(Veltrix_Read_INL_From_File(st, 1, 0), 0);
    for (double v : st.calib.TimePedestals[1][0]) ASSERT_EQ(v, 0.0);
    EXPECT_NE(last_message(core).find(exists ? "is empty!" : "was not found!"), std::string::npos);
  }
}

}  // namespace
}  // namespace vx
