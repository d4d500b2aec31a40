#include "CWinAppIconWidget.h"

#include <QPainter>

CWinAppIconWidget::CWinAppIconWidget(QWidget* parent) : QWidget(parent) { setFixedSize(40, 40); }

void CWinAppIconWidget::SetIcon(const QString& imagePath, const QString& colorName) {
  m_image = imagePath;
  m_color = colorName;
  update();
}

QString CWinAppIconWidget::ImagePath() const {
  return m_image.isEmpty() ? QStringLiteral("./Resources/Installer.png") : m_image;
}

void CWinAppIconWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor color(m_color);
  painter.setPen(color);
  painter.setBrush(color);
  painter.drawRect(rect());
  const QImage image = QImage(ImagePath()).scaled(24, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  painter.drawImage(8, 8, image);
}
