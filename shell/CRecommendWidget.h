// Promotion strip: an icon, a title, a text and a "Get it Now" button.
#pragma once

#include <QIcon>
#include <QWidget>

class CBPQtPushBtn;

class CRecommendWidget : public QWidget {
  Q_OBJECT
 public:
  explicit CRecommendWidget(QWidget* parent = nullptr);
  void InitUI(const QString& title, const QString& text, const QIcon& icon);
  CBPQtPushBtn* Button() const { return m_button; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CBPQtPushBtn* m_button = nullptr;
};
