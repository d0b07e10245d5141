#include <gtest/gtest.h>

#include <fstream>

#include "app/user_path.h"
#include "support/test_state.h"

namespace vx {
namespace {

TEST(UserPath, ChoosesTheFirstUsableCandidateAndCreatesItsFolders) {
  test::TempDir dir;
  const auto root = dir.path();
  struct Case {
    const char* name;
    UserPathEnvironment env;
    std::filesystem::path expected;
  } cases[] = {
      {"override wins",
       {root / "over", (root / "prof").string(), std::nullopt, std::nullopt, root / "exe"},
       root / "over"},
      {"USERPROFILE",
       {std::nullopt, (root / "prof").string(), (root / "xdg").string(), std::nullopt,
        root / "exe"},
       root / "prof" / "AppData" / "Local" / "Veltrix"},
      {"XDG",
       {std::nullopt, std::nullopt, (root / "xdg").string(), (root / "home").string(),
        root / "exe"},
       root / "xdg" / "Veltrix"},
      {"HOME",
       {std::nullopt, std::nullopt, std::nullopt, (root / "home").string(), root / "exe"},
       root / "home" / ".local" / "share" / "Veltrix"},
      {"nothing set",
       {std::nullopt, std::nullopt, std::nullopt, std::nullopt, root / "exe"},
       root / "exe"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto chosen = Resolve_UserPath(c.env);
    EXPECT_EQ(chosen, c.expected);
    for (const char* f : kUserFolders) EXPECT_TRUE(std::filesystem::is_directory(chosen / f)) << f;
  }
}

// A default candidate that cannot be created (a file stands in its way) falls through; an
// override the user named is refused instead (an empty result), and nothing is created.
TEST(UserPath, UnusableCandidatesFallThroughButAnUnusableOverrideIsRefused) {
  test::TempDir dir;
  { std::ofstream(dir.path() / "afile") << "x"; }
  UserPathEnvironment env{(dir.path() / "afile" / "sub").string(), std::nullopt,
                          (dir.path() / "afile").string(), std::nullopt, dir.path() / "exe"};
  EXPECT_TRUE(Resolve_UserPath(env).empty());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "exe" / "RunData"))
      << "no folders made elsewhere";
  env.override_dir.reset();
  EXPECT_EQ(Resolve_UserPath(env), dir.path() / "exe");
}

}  // namespace
}  // namespace vx
