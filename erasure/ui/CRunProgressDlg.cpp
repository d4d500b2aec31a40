#include "CRunProgressDlg.h"

#include <QLabel>

#include "CRoundBtn.h"

CRunProgressDlg::CRunProgressDlg(QWidget* parent) : CBaseDialog(parent) {}

CRunProgressDlg::~CRunProgressDlg() = default;

void CRunProgressDlg::OnCancelWipe() {
  if (m_done) return;
  if (m_status) m_status->setText(tr("Canceling erasure, please wait..."));
  if (QWidget* cancel = CancelWidget()) cancel->hide();
  CancelRun();
}

void CRunProgressDlg::reject() {
  if (m_done || !m_started)
    CBaseDialog::reject();
  else
    OnCancelWipe();
}

CRoundBtn* CRunProgressDlg::MakeRoundCancelButton() {
  auto* button = new CRoundBtn(18);
  button->setFixedSize(90, 30);
  button->SetColors({QColor(61, 73, 110), QColor(99, 109, 139), QColor(54, 65, 98), QColor(196, 200, 221)});
  button->SetText(tr("Cancel"), Qt::white);
  connect(button, &CRoundBtn::clicked, this, &CRunProgressDlg::OnCancelWipe);
  return button;
}
