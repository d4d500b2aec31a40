// Style of the program's popup menus: no panel frame.
#pragma once

#include <QProxyStyle>

class CMenuStyle : public QProxyStyle {
  Q_OBJECT
 public:
  CMenuStyle();
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
};
