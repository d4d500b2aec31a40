// The state rule both library buttons share.
#pragma once

#include <QAbstractButton>

#include "CBPBtnObj.h"

inline int ButtonVisualState(const QAbstractButton* button, bool hover) {
  if (!button->isEnabled()) return CBPBtnObj::Disabled;
  if (button->isDown()) return CBPBtnObj::Pressed;
  if (hover) return CBPBtnObj::Hover;
  return CBPBtnObj::Normal;
}
