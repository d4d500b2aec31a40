#include "CSearchEdit.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

CSearchEdit::CSearchEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(0);
  m_edit = new QLineEdit;
  m_edit->setFixedSize(150, 24);
  m_edit->setFrame(false);
  m_edit->setStyleSheet(QStringLiteral("font-family:'Segoe UI'; background-color:rgb(61,73,110)"));
  QPalette palette = m_edit->palette();
  palette.setColor(QPalette::Text, QColor(245, 246, 248));
  m_edit->setPalette(palette);
  auto* icon = new QLabel;
  icon->setPixmap(QIcon(QStringLiteral("./Resources/icon_search.png")).pixmap(QSize(24, 24), QIcon::Normal, QIcon::Off));
  layout->addWidget(m_edit);
  layout->addWidget(icon);
}

void CSearchEdit::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QColor(99, 108, 138));
  const QRect r = rect();
  painter.drawRect(r.x() + 5, r.y() + 5, 184, 28);
}
