// One row of a styled menu: a text, an optional second (shortcut) text,
// highlighted under the mouse. Used as the default widget of a QWidgetAction.
#pragma once

#include <QWidget>

class CBPStyleMenuItem : public QWidget {
  Q_OBJECT
 public:
  CBPStyleMenuItem(QString text, QString secondText, QWidget* parent = nullptr);
  ~CBPStyleMenuItem() override;

  void setEnabled(bool enabled);
  QString text() const { return m_text; }
  QString secondText() const { return m_second; }
  bool isHighlighted() const { return m_hover; }
  QSize sizeHint() const override;

 Q_SIGNALS:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString m_text;
  QString m_second;
  bool m_hover = false;
};
