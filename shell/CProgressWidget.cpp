#include "CProgressWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ProgressBar.h"
#include "UiHelpers.h"

CProgressWidget::CProgressWidget(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout;
  setLayout(layout);
  layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
  m_bar = new ProgressBar;
  layout->addWidget(m_bar, 0);
  m_bar->setValue(0);
  auto* captions = new QHBoxLayout;
  layout->addLayout(captions);
  layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
  auto makeCaption = [] {
    auto* label = new QLabel;
    SetWidgetFont(label, 14);
    SetWidgetTextColor(label, QColor(51, 51, 51));
    return label;
  };
  // The left caption takes the row's width and wraps a long line (the
  // method's name after the pass count) instead of cutting it.
  m_left = makeCaption();
  m_left->setWordWrap(true);
  m_left->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  captions->addWidget(m_left, 1);
  m_right = makeCaption();
  captions->addWidget(m_right, 0, Qt::AlignRight);
  captions->setContentsMargins(0, 0, m_bar->TextWidth(), 0);
}

void CProgressWidget::SetBarHeight(int height) { m_bar->setFixedHeight(height); }

void CProgressWidget::SetText(const QString& left, const QString& right, int mask) {
  if (mask & 1) m_left->setText(left);
  if (mask & 2) m_right->setText(right);
}

void CProgressWidget::SetShowPercent(bool show) { m_bar->SetShowPercent(show); }

QProgressBar* CProgressWidget::GetProgressBar() const { return m_bar; }
