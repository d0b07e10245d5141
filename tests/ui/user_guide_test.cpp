
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextBrowser>

#include "gui_fixture.h"
#include "ui/user_guide.h"

namespace vx::ui {
namespace {

// The desktop's viewer is stood in for by a text browser receiving the file URL.
TEST(GuiUserGuide, OpensTheGuideStagedInTheBuildTreeOrSaysWhereItLooked) {
  QTextBrowser viewer;
  QDesktopServices::setUrlHandler("file", &viewer, "setSource");
  ScriptedDialogs dialogs;

  // This test runs from build/tests/ui; the desktop application from build/ui.
  const std::filesystem::path app_dir =
      std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / ".." / ".." /
      "ui";
  EXPECT_TRUE(open_user_guide(dialogs, app_dir));
  EXPECT_TRUE(dialogs.shown.empty());
  const QString opened = viewer.source().toLocalFile();
  EXPECT_TRUE(opened.endsWith("/share/doc/veltrix/user-guide.html") ||
              opened.endsWith("/share/doc/veltrix/user-guide.md"))
      << opened.toStdString();
  EXPECT_TRUE(QFileInfo(opened).isFile());
  EXPECT_TRUE(viewer.toPlainText().contains("Software User's Guide"));

  QTemporaryDir elsewhere;
  QTextBrowser untouched;
  QDesktopServices::setUrlHandler("file", &untouched, "setSource");
  const std::filesystem::path bare_bin = elsewhere.path().toStdString() + "/bin";
  EXPECT_FALSE(open_user_guide(dialogs, bare_bin));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_TRUE(dialogs.shown[0].text.contains(elsewhere.path() + "/share/doc/veltrix"))
      << dialogs.shown[0].text.toStdString();
  EXPECT_TRUE(untouched.source().isEmpty());
  QDesktopServices::unsetUrlHandler("file");
}

}  // namespace
}  // namespace vx::ui
