// Rounded action button: colour per state, an optional icon left of the
// centre and a centred text in its own colour.
#pragma once

#include "CBPQtToolButton.h"

class CRoundBtn : public CBPQtToolButton {
  Q_OBJECT
 public:
  explicit CRoundBtn(int cornerRadius, QWidget* parent = nullptr);
  // The same four colours for background and frame.
  void SetColors(const QVector<QColor>& colors);
  void SetText(const QString& text, const QColor& color);
  QString Text() const { return m_text; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor m_textColor;
  QString m_text;
  int m_radius;
};
