// Which widget the page area builds under each page index. The pages live in
// libraries above the shell, so the program registers their factories before
// it builds the main window; an index without a factory shows a plain
// placeholder page.
#pragma once

#include <functional>

class QWidget;

// The number of page indices the page area knows (0 to 4; 4 never gets a page).
constexpr int kPageCount = 5;
// Files, partition wipe, free-space wipe, internet traces, uninstaller.
enum PageIndex { kFilePage = 0, kPartitionPage = 1, kFreeSpacePage = 2, kInternetPage = 3, kUninstallerPage = 4 };

using PageFactory = std::function<QWidget*()>;

// Registers (or replaces; an empty function removes) the factory of page
// `index` (0 to 3; other indices are refused and false is returned). The
// widget a factory returns becomes the page's host; when the widget itself or
// its layout is a CRightContentBase, that page is told through Activate when
// it is shown.
bool RegisterPageFactory(int index, PageFactory factory);
// The factory of `index`; empty when none is registered.
PageFactory GetPageFactory(int index);
