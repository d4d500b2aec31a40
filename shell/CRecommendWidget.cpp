#include "CRecommendWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "CBPQtLabel.h"
#include "CBPQtPushBtn.h"
#include "UiHelpers.h"

CRecommendWidget::CRecommendWidget(QWidget* parent) : QWidget(parent) { setFixedHeight(80); }

void CRecommendWidget::InitUI(const QString& title, const QString& text, const QIcon& icon) {
  auto* row = new QHBoxLayout;
  row->setContentsMargins(20, 10, 20, 8);
  row->setSpacing(16);
  auto* picture = new QLabel;
  picture->setPixmap(icon.pixmap(QSize(64, 64)));
  row->addWidget(picture, 0, Qt::AlignLeft);
  auto* texts = new QVBoxLayout;
  auto* titleLabel = new CBPQtLabel(title);
  SetWidgetFont(titleLabel, 14);
  auto* textLabel = new CBPQtLabel(text);
  SetWidgetFont(textLabel, 14);
  SetWidgetTextColor(textLabel, QColor(96, 96, 96));
  texts->addWidget(titleLabel);
  texts->addWidget(textLabel, 20, Qt::AlignTop);
  row->addLayout(texts);
  m_button = new CBPQtPushBtn(tr("Get it Now"));
  m_button->setAsDefaultBtn(true);
  m_button->setFixedSize(120, 36);
  SetWidgetFont(m_button, 16);
  row->addWidget(m_button, 10, Qt::AlignRight);
  row->setAlignment(Qt::AlignTop);
  setLayout(row);
}

void CRecommendWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect r = rect();
  r.setLeft(1);
  painter.setPen(QColor(240, 240, 240));
  painter.setBrush(QColor(240, 240, 240));
  painter.drawRect(r);
}
