// The message and confirmation box: an icon, a wrapped text and one of five
// button sets. exec() gives 0 for the first button (OK, Yes, Continue,
// Erase Now) and 1 for the second, for Escape and for the title bar's close
// button. In two-button sets the second (the one that changes nothing) is
// the default button and has the focus.
#pragma once

#include "CBaseDialog.h"

class CBPQtLabel;
class QLabel;
class QPushButton;

class CMSGDlg : public CBaseDialog {
  Q_OBJECT
 public:
  CMSGDlg(int width, int height, QWidget* parent = nullptr);
  ~CMSGDlg() override;

  void SetWordWrap(bool wrap) { m_wordWrap = wrap; }
  // iconKind: 0/2 success, 1 (and others) warning. buttonSet: 1 OK, 2
  // OK/Cancel, 3 Yes/No, 4 Continue/Cancel, 5 Erase Now/Cancel (Cancel shown
  // on the left), other values no buttons.
  void InitUI(int iconKind, const QString& text, int buttonSet, int topMargin);
  void CenterOnWidget(QWidget* widget);

  QPushButton* FirstButton() const { return m_first; }
  QPushButton* SecondButton() const { return m_second; }
  CBPQtLabel* TextLabel() const { return m_text; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void OKClicked();
  void CancelClicked();
  // Escape and the window manager's close end the box as Cancel does.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  int m_width;
  int m_height;
  QLabel* m_icon = nullptr;
  CBPQtLabel* m_text = nullptr;
  QPushButton* m_first = nullptr;
  QPushButton* m_second = nullptr;
  bool m_wordWrap = true;
};
