// Visual state of the library's buttons: which of the four states the
// button is in and the colours its owner chose for each state.
#pragma once

#include <QColor>
#include <QIcon>
#include <QVector>

class CBPBtnObj {
 public:
  // States, in the index order of the colour lists.
  enum State { Normal = 0, Hover = 1, Pressed = 2, Disabled = 3 };

  void setBgColor(const QVector<QColor>& colors) { m_bg = colors; }
  void setFrmColor(const QVector<QColor>& colors) { m_frm = colors; }
  void setTextColor(const QVector<QColor>& colors) { m_text = colors; }
  QColor bgColor(int state) const { return Pick(m_bg, state); }
  QColor frmColor(int state) const { return Pick(m_frm, state); }
  QColor textColor(int state) const { return Pick(m_text, state); }

  int state() const { return m_state; }
  void setState(int state) { m_state = (state < 0 || state > 3) ? Normal : state; }
  // The icon mode that goes with the state: Normal, Active on hover,
  // Selected while pressed, Disabled.
  QIcon::Mode iconMode() const;
  int frmWidth() const { return m_frmWidth; }
  void setFrmWidth(int width) { m_frmWidth = width; }

 private:
  static QColor Pick(const QVector<QColor>& list, int state);
  QVector<QColor> m_bg, m_frm, m_text;
  int m_state = Normal;
  int m_frmWidth = 1;
};
