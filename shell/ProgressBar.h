// Thin rounded progress bar that paints itself, followed by its percentage.
#pragma once

#include <QProgressBar>

class ProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit ProgressBar(QWidget* parent = nullptr);
  ProgressBar(int showPercent, QWidget* parent = nullptr);

  void SetShowPercent(bool show);
  bool ShowsPercent() const { return m_showPercent; }
  int TextWidth() const { return m_textWidth; }
  // The painted percentage (truncated) and filled width for the current
  // range and value.
  int PercentShown() const;
  int FilledWidth() const;
  int TrackWidth() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double Ratio() const;
  bool m_showPercent = true;
  int m_textWidth = 30;
};
