#include "CBaseDialog.h"

#include <QEvent>
#include <QIcon>

#include "CBPNotifyCentor.h"
#include "CTitleBtn.h"
#include "UiHelpers.h"

CBaseDialog::CBaseDialog(QWidget* parent) : CWinDlgFrm(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  setWindowIcon(QIcon(QStringLiteral("./Resources/Logo.ico")));
}

CBaseDialog::~CBaseDialog() = default;

CTitleBtn* CBaseDialog::CreateIconButton(const QVector<QString>& iconFiles) {
  auto* button = new CTitleBtn;
  button->setFocusPolicy(Qt::NoFocus);
  const QIcon icon = MakeStateIcon(iconFiles);
  button->setIcon(icon);
  button->setIconSize(GetIconActualSize(icon));
  return button;
}

int CBaseDialog::ReceiveMsg(__MsgData) { return 0; }

bool CBaseDialog::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && !isVisible() && !m_ended) show();
  return QWidget::event(event);
}

void CBaseDialog::showEvent(QShowEvent* event) {
  m_ended = false;
  FitHeightToContent();
  QDialog::showEvent(event);
}

void CBaseDialog::done(int result) {
  m_ended = true;
  QDialog::done(result);
}

void CBaseDialog::DestroyNativeWindow() {
  if (isVisible()) done(QDialog::Rejected);
  destroy(true, true);
}
