#include "CUpdateRstDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "DesktopLinks.h"
#include "MsgDefine.h"
#include "UiHelpers.h"

CUpdateRstDlg::CUpdateRstDlg(int width, int height, QWidget* parent)
    : CBaseDialog(parent), m_width(width), m_height(height) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(width, height);
}

void CUpdateRstDlg::InitUI(const QString& text, bool warning, bool withButtons) {
  auto* outer = new QVBoxLayout;
  outer->setContentsMargins(0, 20, 0, 10);
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(m_width);
  m_picture = new QLabel;
  m_picture->setPixmap(QIcon(QStringLiteral("./Resources/About.png")).pixmap(QSize(64, 64), QIcon::Normal, QIcon::Off));
  outer->addWidget(m_picture, 0, Qt::AlignHCenter);
  m_icon = new QLabel;
  m_icon->setPixmap(QIcon(warning ? QStringLiteral("./Resources/tip_warnning.png") : QStringLiteral("./Resources/Success.png"))
                        .pixmap(QSize(64, 64), QIcon::Normal, QIcon::Off));
  m_text = new QLabel(text);
  SetWidgetFont(m_text, 16);
  SetWidgetTextColor(m_text, QColor(51, 51, 51));
  row->addItem(new QSpacerItem(60, 0, QSizePolicy::Fixed, QSizePolicy::Expanding));
  row->addWidget(m_icon, 0, Qt::AlignHCenter);
  row->addWidget(m_text, 10, Qt::AlignLeft);
  outer->addWidget(keeper);
  outer->addLayout(row);
  if (withButtons) {
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    m_update = new QPushButton(tr("Update"));
    m_update->setStyleSheet(PrimaryButtonStyle());
    m_update->setFixedSize(96, 26);
    connect(m_update, &QPushButton::clicked, this, &CUpdateRstDlg::UpdateClicked);
    m_cancel = new QPushButton(tr("Cancel"));
    m_cancel->setStyleSheet(SecondaryButtonStyle());
    m_cancel->setFixedSize(96, 26);
    connect(m_cancel, &QPushButton::clicked, this, &CUpdateRstDlg::CancelClicked);
    buttons->addWidget(m_update, 10, Qt::AlignRight);
    buttons->addWidget(m_cancel, 3, Qt::AlignLeft);
    outer->addItem(new QSpacerItem(0, 20, QSizePolicy::Expanding, QSizePolicy::Fixed));
    outer->addLayout(buttons);
  }
  m_content->addLayout(outer);
}

void CUpdateRstDlg::UpdateClicked() {
  OpenConfiguredLink(QStringLiteral("ID_LINK_UPGRADE"));
  SendBusMsg(MSG_TITLE_CLOSE);
}

void CUpdateRstDlg::CancelClicked() { SendBusMsg(MSG_TITLE_CLOSE); }

int CUpdateRstDlg::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_CLOSE) close();
  return 0;
}
