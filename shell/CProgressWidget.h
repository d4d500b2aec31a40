// A ProgressBar above a row of two captions; callers set range and value on
// the bar (GetProgressBar) and the captions with SetText.
#pragma once

#include <QProgressBar>
#include <QWidget>

class ProgressBar;
class QLabel;


class CProgressWidget : public QWidget {
  Q_OBJECT
 public:
  explicit CProgressWidget(QWidget* parent = nullptr);

  void SetBarHeight(int height);
  // Bit 0 of mask sets the left caption, bit 1 the right one.
  void SetText(const QString& left, const QString& right, int mask);
  void SetShowPercent(bool show);
  QProgressBar* GetProgressBar() const;
  QLabel* LeftCaption() const { return m_left; }
  QLabel* RightCaption() const { return m_right; }

 private:
  ProgressBar* m_bar = nullptr;
  QLabel* m_left = nullptr;
  QLabel* m_right = nullptr;
};
