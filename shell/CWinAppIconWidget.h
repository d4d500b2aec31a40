// Application tile: a coloured square with a 24 x 24 picture.
#pragma once

#include <QWidget>

class CWinAppIconWidget : public QWidget {
  Q_OBJECT
 public:
  explicit CWinAppIconWidget(QWidget* parent = nullptr);
  void SetIcon(const QString& imagePath, const QString& colorName);
  // The picture painted: the stored path, or the installer picture.
  QString ImagePath() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_image;
  QString m_color;
};
