// The erasure-method and erasure-history dialogs live in a library above the
// shell; the program installs how to open them. The navigation column and the
// main title bar both open them through here. Until an opener is installed a
// message box says the dialog is not available.
#pragma once

#include <functional>

using DialogOpener = std::function<void()>;

// Installs (an empty function removes) the opener of the method dialog.
void SetMethodDialogOpener(DialogOpener opener);
// Installs (an empty function removes) the opener of the history dialog.
void SetHistoryDialogOpener(DialogOpener opener);
// Runs the installed opener, or shows the placeholder message box.
void OpenMethodDialog();
void OpenHistoryDialog();
