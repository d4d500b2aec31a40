// Search box of the program list: a frameless line edit and a search icon
// inside a thin painted frame.
#pragma once

#include <QWidget>

class QLineEdit;

class CSearchEdit : public QWidget {
  Q_OBJECT
 public:
  explicit CSearchEdit(QWidget* parent = nullptr);
  QLineEdit* GetLineEdit() const { return m_edit; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLineEdit* m_edit = nullptr;
};
