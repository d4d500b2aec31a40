#include "ProgressBody.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "CProgressWidget.h"
#include "UiHelpers.h"

ProgressBody BuildProgressBody(const QString& status, const QString& caption) {
  ProgressBody body;
  body.layout = new QVBoxLayout;
  body.layout->setContentsMargins(20, 20, 20, 0);
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(410);
  body.layout->addWidget(keeper);
  auto* statusRow = new QHBoxLayout;
  statusRow->addItem(new QSpacerItem(10, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
  body.status = new QLabel(status);
  body.status->setFixedWidth(410);
  SetWidgetFont(body.status, 14);
  SetWidgetTextColor(body.status, QColor(51, 51, 51));
  statusRow->addWidget(body.status);
  body.layout->addLayout(statusRow);
  body.progress = new CProgressWidget;
  body.progress->SetShowPercent(false);
  body.progress->SetText(caption, QString(), 3);
  body.layout->addWidget(body.progress);
  body.layout->addItem(new QSpacerItem(0, 60, QSizePolicy::Minimum, QSizePolicy::Fixed));
  return body;
}
