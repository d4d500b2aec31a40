#include "CWindowDlgTitle.h"

#include <QHBoxLayout>
#include <QLabel>

#include "CBPNotifyCentor.h"
#include "CTitleBtn.h"
#include "MsgDefine.h"
#include "UiHelpers.h"

CWindowDlgTitle::CWindowDlgTitle(QWidget* parent) : CTitleBarBase(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_REFRESH);
  setObjectName(QStringLiteral("DlgTitle"));
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(5);
  layout->setContentsMargins(10, 5, 0, 0);
  m_logo = new QLabel;
  m_logo->setPixmap(QIcon(QStringLiteral("./Resources/logo.png")).pixmap(QSize(16, 16), QIcon::Normal, QIcon::Off));
  layout->addWidget(m_logo, 0);
  m_caption = new QLabel(tr("Norvanta Vantorel Pro"));
  SetWidgetFont(m_caption, 12);
  SetWidgetTextColor(m_caption, QColor(51, 51, 51));
  layout->addWidget(m_caption, 0, Qt::AlignHCenter);
  layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  m_buttons = new QHBoxLayout;
  m_buttons->setContentsMargins(0, 0, 10, 0);
  m_close = static_cast<CTitleBtn*>(AddButton({QStringLiteral("./Resources/close1_normal.png"),
                                               QStringLiteral("./Resources/close1_hover.png"),
                                               QStringLiteral("./Resources/close1_press.png"),
                                               QStringLiteral("./Resources/close1_disable.png")},
                                              true));
  connect(m_close, &QAbstractButton::clicked, this, &CWindowDlgTitle::OnBtnClicked);
  layout->addLayout(m_buttons);
}

CWindowDlgTitle::~CWindowDlgTitle() = default;

void CWindowDlgTitle::SetTitle(const QString& text) {
  m_caption->setText(text);
  if (text.isEmpty()) m_logo->hide();
}

void CWindowDlgTitle::SetCaption(const QString& text) { m_caption->setText(text); }

void CWindowDlgTitle::SetCaptionWhite() { SetWidgetTextColor(m_caption, Qt::white); }

int CWindowDlgTitle::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_REFRESH) m_caption->setText(tr("Norvanta Vantorel Pro"));
  return 0;
}

void CWindowDlgTitle::OnBtnClicked() {
  if (!m_target) return;
  QObject* from = sender();
  if (m_min && from == m_min) {
    m_target->setWindowState(Qt::WindowMinimized);
  } else if ((m_restore && from == m_restore) || (m_max && from == m_max)) {
    // Nothing here.
  } else if (from == m_close) {
    SendBusMsg(MSG_TITLE_CLOSE);
  }
}
