// The modal questions the program asks. The application shows real dialogs; the tests
// answer them from a script.
#pragma once

#include <QString>
#include <optional>

#include "platform/front_end.h"

class QWidget;

namespace vx::ui {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void popup(PopupKind kind, const QString& title, const QString& text) = 0;
  virtual bool confirm(const QString& title, const QString& text) = 0;
  virtual std::optional<QString> prompt(const QString& title, const QString& text,
                                        const QString& initial) = 0;
  virtual std::optional<QString> select_file(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> select_directory(const QString& title, const QString& initial) = 0;
};

class QtDialogs final : public Dialogs {
 public:
  void set_parent(QWidget* parent) { parent_ = parent; }
  void popup(PopupKind kind, const QString& title, const QString& text) override;
  bool confirm(const QString& title, const QString& text) override;
  std::optional<QString> prompt(const QString& title, const QString& text,
                                const QString& initial) override;
  std::optional<QString> select_file(const FileDialogRequest& request) override;
  std::optional<QString> select_directory(const QString& title, const QString& initial) override;

 private:
  QWidget* parent_ = nullptr;
};

}  // namespace vx::ui
