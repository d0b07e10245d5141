#include "ui/dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

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
  QString filter = QString::fromStdString(r.filter);
  filter.replace(';', ' ');
  filter = filter.isEmpty() ? QString() : QString("Files (%1)").arg(filter);
  const QString dir = QString::fromStdString((r.initial_directory / r.default_name).string());
  const QString title = QString::fromStdString(r.title);
  const QString path = r.save ? QFileDialog::getSaveFileName(parent_, title, dir, filter)
                              : QFileDialog::getOpenFileName(parent_, title, dir, filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<QString> QtDialogs::select_directory(const QString& title, const QString& initial) {
  const QString path = QFileDialog::getExistingDirectory(parent_, title, initial);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

}  // namespace vx::ui
