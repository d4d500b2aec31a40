// A label that reads as a link and reports clicks with its text.
#pragma once

#include <QLabel>

class CBPQtHyperLink : public QLabel {
  Q_OBJECT
 public:
  CBPQtHyperLink(const QString& text, QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
  ~CBPQtHyperLink() override;

 Q_SIGNALS:
  void linkClicked(QString& text);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};
