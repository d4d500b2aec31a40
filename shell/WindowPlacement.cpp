#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "MainWindowSeam.h"

QPoint CenteredOver(const QSize& size, const QRect& anchor, const QRect& screen) {
  QPoint corner(anchor.x() + (anchor.width() - size.width()) / 2, anchor.y() + (anchor.height() - size.height()) / 2);
  if (screen.isEmpty() || !screen.contains(anchor)) return corner;
  corner.setX(std::max(screen.left(), std::min(corner.x(), screen.left() + screen.width() - size.width())));
  corner.setY(std::max(screen.top(), std::min(corner.y(), screen.top() + screen.height() - size.height())));
  return corner;
}

QRect FitIntoScreen(const QSize& preferred, const QRect& screen) {
  if (screen.isEmpty()) return QRect(QPoint(0, 0), preferred);
  const QSize size = preferred.boundedTo(screen.size());
  return QRect(CenteredOver(size, screen, screen), size);
}

QRect AvailableScreenArea(const QWidget* widget) {
  QScreen* screen = nullptr;
  if (widget && widget->window()->isVisible()) {
    const QRect frame = widget->window()->frameGeometry();
    int best = 0;
    for (QScreen* candidate : QGuiApplication::screens()) {
      const QRect common = candidate->geometry() & frame;
      const int area = common.width() * common.height();
      if (area > best) {
        best = area;
        screen = candidate;
      }
    }
  }
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

void CenterWindowOver(QWidget* window, const QWidget* anchor) {
  if (!window) return;
  const QWidget* over = anchor ? anchor->window() : nullptr;
  if (!over || !over->isVisible()) over = ShellMainWindow();
  if (over && (over == window || !over->isVisible())) over = nullptr;
  const QRect screen = AvailableScreenArea(over);
  const QRect area = over ? over->frameGeometry() : screen;
  window->move(CenteredOver(window->frameGeometry().size(), area, screen));
}
