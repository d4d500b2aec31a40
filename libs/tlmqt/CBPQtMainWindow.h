// Main-window base of the program's frame.
#pragma once

#include <QMainWindow>

class CBPQtMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit CBPQtMainWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
  ~CBPQtMainWindow() override;
};
