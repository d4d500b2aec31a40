// Lets the user choose the overwrite method of the erasures: four rows with
// a radio button, a name and a description. "Confirm" stores the chosen
// pass count (CUIPublic::SetErasePasses); the title bar's close button
// leaves it unchanged. Both make the dialog go away and end its exec().
#pragma once

#include "CBaseDialog.h"

class QPushButton;
class QRadioButton;
class QVBoxLayout;

class CMethodDlg : public CBaseDialog {
  Q_OBJECT
 public:
  explicit CMethodDlg(QWidget* parent = nullptr);
  ~CMethodDlg() override;

  void InitUI();

  // The radio button of a pass count (1, 3, 7, 35); null for others.
  QRadioButton* RadioOf(int passes) const;
  QPushButton* ConfirmButton() const { return m_confirm; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void ConfirmClicked();

 private:
  void CreateMethodRow1();
  void CreateMethodRow3();
  void CreateMethodRow7();
  void CreateMethodRow35();
  QRadioButton* CreateMethodRow(const QString& name, const QString& description);

  QVBoxLayout* m_rows = nullptr;
  QRadioButton* m_pass1 = nullptr;
  QRadioButton* m_pass3 = nullptr;
  QRadioButton* m_pass7 = nullptr;
  QRadioButton* m_pass35 = nullptr;
  QPushButton* m_confirm = nullptr;
};

// Opens the method dialog modally over parent (the main window when null)
// and returns when it has gone.
void OpenMethodDialog(QWidget* parent = nullptr);
