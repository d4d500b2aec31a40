// Where windows go on the screen: the main window fitted into the screen's
// available area, dialogs centred over the window they belong to.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Top-left corner that centres a box of `size` over `anchor`. When the
// anchor lies wholly inside `screen` (a window the user sees whole), the box
// is kept inside the screen too, its top-left corner first.
QPoint CenteredOver(const QSize& size, const QRect& anchor, const QRect& screen);

// The main window's rectangle on a screen whose available area is `screen`:
// the preferred size where it fits, each side shrunk to the screen's where it
// does not; centred and wholly inside the screen.
QRect FitIntoScreen(const QSize& preferred, const QRect& screen);

// The available area of the screen that shows most of `widget` (its window),
// else of the primary screen; empty without a screen.
QRect AvailableScreenArea(const QWidget* widget = nullptr);

// Moves the top-level `window` so that it is centred over `anchor`'s window,
// else over the main window when one is shown, else over the screen.
void CenterWindowOver(QWidget* window, const QWidget* anchor);
