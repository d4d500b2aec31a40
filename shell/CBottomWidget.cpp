#include "CBottomWidget.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

CBottomWidget::CBottomWidget(QWidget* parent) : QWidget(parent) { setFixedHeight(68); }

void CBottomWidget::InitUI() {
  auto* layout = new QHBoxLayout;
  layout->setContentsMargins(20, 10, 20, 10);
  layout->setSpacing(16);
  m_button = new QPushButton;
  m_button->setFixedSize(130, 50);
  m_button->setStyleSheet(QStringLiteral(
      "QPushButton{border-image: url(./Resources/btn_uninstall.png);}"
      "QPushButton:hover{border-image: url(./Resources/btn_uninstall_hover.png);}"
      "QPushButton:pressed{border-image: url(./Resources/btn_uninstall_press.png);}"
      "QPushButton:disabled{border-image: url(./Resources/btn_uninstall_disable.png);}"));
  layout->addWidget(m_button, 0, Qt::AlignHCenter | Qt::AlignVCenter);
  layout->setAlignment(Qt::AlignTop);
  setLayout(layout);
}

void CBottomWidget::SetText(const QString& text) {
  m_text = text;
  repaint();
}

void CBottomWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  QFont font(QStringLiteral("Segoe UI"));
  font.setPointSize(10);
  painter.setFont(font);
  const QRect r = rect();
  painter.drawText(QPoint(r.x() + r.width() / 2 + 75, r.y() + r.height() / 2 + 5), m_text);
}
