#include "MainWindowSeam.h"

#include <QPointer>
#include <QWidget>

namespace {

QPointer<QWidget>& Stored() {
  static QPointer<QWidget> window;
  return window;
}

std::function<QWidget*()>& Provider() {
  static std::function<QWidget*()> provider;
  return provider;
}

}  // namespace

QWidget* ShellMainWindow() { return Provider() ? Provider()() : Stored().data(); }

void SetShellMainWindow(QWidget* window) { Stored() = window; }

void SetShellMainWindowProvider(std::function<QWidget*()> provider) { Provider() = std::move(provider); }
