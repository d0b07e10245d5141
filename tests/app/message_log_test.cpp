#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "app/lifecycle.h"
#include "app/message_log.h"
#include "support/file_text.h"
#include "support/test_state.h"

namespace vx {
namespace {

using test::read_file;

// The log of an earlier session is emptied at start.
TEST(MessageLog, KindsReachTheirTabsPopupsAndLogLines) {
  test::TempDir dir;
  test::write_file(dir.path() / "logfile.txt", "INFO:1h:1min:1s: from yesterday\n");
  test::TestCore core;
  core.clock.set_wall({2026, 12, 6, 14, 5, 7, 0.0, 0, 0.0});
  Start_Core(core.state, core.state, dir.path());

  Write_InfoMessage(core.state, "plain\n", kInfo);
  Write_InfoMessage(core.state, "careful\n", kWarning);
  Write_InfoMessage(core.state, "broken\n", kError);
  Write_InfoMessage(core.state, "ignored\n", 7);

  using T = MessageTab;
  EXPECT_EQ(core.ui.tab_texts(T::Infos),
            (std::vector<std::string>{"14h:5min:7s: plain\n", "14h:5min:7s: careful\n",
                                      "14h:5min:7s: broken\n"}));
  EXPECT_EQ(core.ui.tab_texts(T::Warnings), (std::vector<std::string>{"14h:5min:7s: careful\n"}));
  EXPECT_EQ(core.ui.tab_texts(T::Errors), (std::vector<std::string>{"14h:5min:7s: broken\n"}));

  const auto popups = core.ui.popups();
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(popups[0].title, "Warning");
  EXPECT_EQ(popups[0].text, "careful\n");
  EXPECT_EQ(popups[1].title, "Error");
  EXPECT_EQ(popups[1].kind, PopupKind::Error);

  EXPECT_EQ(read_file(dir.path() / "logfile.txt"),
            "INFO:14h:5min:7s: plain\nWARNING:14h:5min:7s: careful\nERROR:14h:5min:7s: broken\n");
}

TEST(MessageLog, UnopenableLogKeepsTabsWorkingAndReportsOnce) {
  test::TempDir dir;
  test::TestCore core;
  Start_Core(core.state, core.state, dir.path() / "missing" / "deeper");

  Write_InfoMessage(core.state, "first\n", kInfo);
  Write_InfoMessage(core.state, "second\n", kWarning);

  EXPECT_TRUE(core.ui.has_message(MessageTab::Infos, "first\n"));
  EXPECT_TRUE(core.ui.has_message(MessageTab::Warnings, "second\n"));
  const auto errors = core.ui.tab_texts(MessageTab::Errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Error while opening file for saving log file!\n"), std::string::npos);
  EXPECT_TRUE(
      core.ui.has_message(MessageTab::Infos, "Error while opening file for saving log file!"));
}

TEST(MessageLog, LinesFromManyThreadsStayWhole) {
  test::TempDir dir;
  test::TestCore core;
  Start_Core(core.state, core.state, dir.path());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i)
        Write_InfoMessage(core.state, "thread " + std::to_string(t) + " line\n", kInfo);
    });
  }
  for (auto& th : threads) th.join();
  std::istringstream log(read_file(dir.path() / "logfile.txt"));
  int lines = 0;
  for (std::string line; std::getline(log, line); ++lines) {
    EXPECT_EQ(line.rfind("INFO:", 0), 0u) << line;
    EXPECT_NE(line.find(" line"), std::string::npos) << line;
  }
  EXPECT_EQ(lines, 200);
}

}  // namespace
}  // namespace vx
