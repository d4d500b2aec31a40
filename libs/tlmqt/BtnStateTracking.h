// The state rule both library buttons share.
#pragma once

#include <QAbstractButton>
#include <QCursor>

#include "CBPBtnObj.h"

inline int ButtonVisualState(const QAbstractButton* button, bool hover) {
  if (!button->isEnabled()) return CBPBtnObj::Disabled;
  if (button->isDown()) return CBPBtnObj::Pressed;
  if (hover) return CBPBtnObj::Hover;
  return CBPBtnObj::Normal;
}

// Whether the mouse is over the button now. Used after a click instead of
// the release position: the click may have run a dialog or a menu, and the
// mouse has moved on meanwhile without a leave event reaching the button.
inline bool CursorOverButton(const QAbstractButton* button) {
  return button->isVisible() && button->rect().contains(button->mapFromGlobal(QCursor::pos()));
}
