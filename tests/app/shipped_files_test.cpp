#include <gtest/gtest.h>

#include <fstream>

#include "app/shipped_files.h"
#include "support/test_state.h"

namespace vx {
namespace {

TEST(ShippedFiles, GuidePrefersItsHtmlRenderingAndIsEmptyWhenNotShipped) {
  test::TempDir dir;
  const auto prefix = dir.path() / "usr";
  const auto bin = prefix / "bin";
  const auto doc = prefix / "share" / "doc" / "veltrix";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(doc);

  EXPECT_TRUE(find_user_guide(bin).empty());
  // A folder of that name is not a guide.
  std::filesystem::create_directories(doc / "user-guide.html");
  EXPECT_TRUE(find_user_guide(bin).empty());
  std::filesystem::remove(doc / "user-guide.html");

  std::ofstream(doc / "user-guide.md") << "# guide\n";
  EXPECT_EQ(find_user_guide(bin), doc / "user-guide.md");
  std::ofstream(doc / "user-guide.html") << "<h1>guide</h1>\n";
  EXPECT_EQ(find_user_guide(bin), doc / "user-guide.html");
  // Found the same way from a sibling of bin/, as build/ui and build/cli find build/share.
  std::filesystem::create_directories(prefix / "ui");
  EXPECT_EQ(find_user_guide(prefix / "ui"), doc / "user-guide.html");

  EXPECT_TRUE(find_app_icon(bin).empty());
  const auto icons = prefix / "share" / "icons" / "hicolor" / "256x256" / "apps";
  std::filesystem::create_directories(icons);
  std::ofstream(icons / "veltrix.png") << "png";
  EXPECT_EQ(find_app_icon(bin), icons / "veltrix.png");
}

}  // namespace
}  // namespace vx
