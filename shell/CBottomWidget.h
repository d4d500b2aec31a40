// Footer of the program list: the uninstall button and a painted text.
#pragma once

#include <QWidget>

class QPushButton;

class CBottomWidget : public QWidget {
  Q_OBJECT
 public:
  explicit CBottomWidget(QWidget* parent = nullptr);
  void InitUI();
  // Stores the text and repaints at once.
  void SetText(const QString& text);
  QString Text() const { return m_text; }
  QPushButton* GetButton() const { return m_button; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_text;
  QPushButton* m_button = nullptr;
};
