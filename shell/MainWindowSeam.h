// Where the shell's dialogs and menus find the main window (parent of the
// about box, anchor of the add menu). The UI service installs its own
// provider once it exists; until then the window set with SetShellMainWindow
// is used.
#pragma once

#include <functional>

class QWidget;

QWidget* ShellMainWindow();
void SetShellMainWindow(QWidget* window);
// Replaces the lookup; an empty function returns to the stored window.
void SetShellMainWindowProvider(std::function<QWidget*()> provider);
