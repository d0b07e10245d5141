#include "ui/user_guide.h"

#include <QDesktopServices>
#include <QUrl>

#include "app/shipped_files.h"
#include "ui/dialogs.h"

namespace vx::ui {

bool open_user_guide(Dialogs& dialogs, const std::filesystem::path& executable_dir) {
  const auto guide = find_user_guide(executable_dir);
  if (guide.empty()) {
    dialogs.popup(PopupKind::Warning, "Software User's Guide",
                  QString("The Software User's Guide is not installed: it was looked for in\n%1")
                      .arg(QString::fromStdString(user_guide_dir(executable_dir).string())));
    return false;
  }
  const QString path = QString::fromStdString(guide.string());
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
    dialogs.popup(PopupKind::Warning, "Software User's Guide",
                  QString("No viewer could open the Software User's Guide:\n%1").arg(path));
    return false;
  }
  return true;
}

}  // namespace vx::ui
