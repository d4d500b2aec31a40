#include "CBPBtnObj.h"

QIcon::Mode CBPBtnObj::iconMode() const {
  switch (m_state) {
    case Hover: return QIcon::Active;
    case Pressed: return QIcon::Selected;
    case Disabled: return QIcon::Disabled;
    default: return QIcon::Normal;
  }
}

QColor CBPBtnObj::Pick(const QVector<QColor>& list, int state) {
  if (list.isEmpty()) return QColor();
  if (state < 0 || state >= list.size()) return list.first();
  return list[state];
}
