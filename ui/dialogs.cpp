#include "ui/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace vx::ui {

void QtDialogs::popup(PopupKind kind, const QString& title, const QString& text) {
  const QString body = text.trimmed();
  switch (kind) {
    case PopupKind::Information:
      QMessageBox::information(parent_, title, body);
      break;
    case PopupKind::Warning:
      QMessageBox::warning(parent_, title, body);
      break;
    case PopupKind::Error:
      QMessageBox::critical(parent_, title, body);
      break;
  }
}

bool QtDialogs::confirm(const QString& title, const QString& text) {
  return QMessageBox::question(parent_, title, text.trimmed()) == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::prompt(const QString& title, const QString& text,
                                         const QString& initial) {
  bool ok = false;
  const QString answer =
      QInputDialog::getText(parent_, title, text, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return answer;
}

std::optional<QString> QtDialogs::select_file(const FileDialogRequest& r) {
  // "*.bin;*.dat" becomes the dialog's "(*.bin *.dat)".
  QString patterns = QString::fromStdString(r.filter);
  patterns.replace(';', ' ');
  QStringList filters;
  // A default name with wildcards ("Setup_*.dat") is what to list, not a name to save
  // under: offered as the first filter, with the name left for the user to type.
  QString name = QString::fromStdString(r.default_name);
  if (name.contains('*') || name.contains('?')) {
    if (name != patterns && name != "*") filters << QString("Files (%1)").arg(name);
    name.clear();
  }
  if (!patterns.isEmpty()) filters << QString("Files (%1)").arg(patterns);
  QFileDialog dialog(parent_, QString::fromStdString(r.title),
                     QString::fromStdString(r.initial_directory.string()), filters.join(";;"));
  dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!name.isEmpty()) dialog.selectFile(name);
  // A name typed without an extension gets the one of a single "*.ext" filter.
  static const QRegularExpression single_extension(R"(^\*\.(\w+)$)");
  QString suffix;
  if (const auto m = single_extension.match(patterns); r.save && m.hasMatch())
    suffix = m.captured(1);
  dialog.setDefaultSuffix(suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  QString chosen = dialog.selectedFiles().first();
  // The dialog leaves the suffix off a name that is also a folder of the working directory.
  if (!suffix.isEmpty() && QFileInfo(chosen).suffix().isEmpty() && !QFileInfo(chosen).isDir())
    chosen += '.' + suffix;
  return chosen;
}

std::optional<QString> QtDialogs::select_directory(const QString& title, const QString& initial) {
  const QString path = QFileDialog::getExistingDirectory(parent_, title, initial);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

}  // namespace vx::ui
