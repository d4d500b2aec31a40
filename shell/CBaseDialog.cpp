#include "CBaseDialog.h"

#include <QEvent>
#include <QIcon>

#include "CBPNotifyCentor.h"
#include "CTitleBtn.h"
#include "UiHelpers.h"
#include "WindowPlacement.h"

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
  // Not placed by its opener: over the window it belongs to (QDialog's own
  // placement is left to the window manager, which may put it in a corner).
  const bool placed = testAttribute(Qt::WA_Moved);
  FitHeightToContent();
  if (!placed && isWindow()) CenterWindowOver(this, parentWidget());
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
