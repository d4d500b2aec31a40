// Yellow rounded push button of the uninstaller's dialogs.
#pragma once

#include <QPushButton>

class PopupWindowButton : public QPushButton {
  Q_OBJECT
 public:
  PopupWindowButton(const QString& text, QWidget* parent = nullptr);
  explicit PopupWindowButton(QWidget* parent = nullptr);
};
