#include "CWindowTitle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

#include "CBPNotifyCentor.h"
#include "CCommonMenu.h"
#include "CTitleBtn.h"
#include "DialogOpeners.h"
#include "MsgDefine.h"
#include "StartUp.h"
#include "UiHelpers.h"

namespace {

QVector<QString> Images(const char* normal, const char* second, const char* third, const char* fourth) {
  return {QString::fromLatin1(normal), QString::fromLatin1(second), QString::fromLatin1(third),
          QString::fromLatin1(fourth)};
}

}  // namespace

CWindowTitle::CWindowTitle(QWidget* parent) : CTitleBarBase(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_REFRESH);
  setObjectName(QStringLiteral("MainTitle"));
  setFixedHeight(34);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(5, 2, 10, 0);
  auto* logo = new QLabel;
  logo->setPixmap(QPixmap(QStringLiteral("./Resources/logo.png")).scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  m_caption = new QLabel;
  ResetCaption();
  SetWidgetFont(m_caption, 16);
  SetWidgetTextColor(m_caption, QColor(74, 74, 74));
  layout->addWidget(logo, 0, Qt::AlignLeft);
  layout->addWidget(m_caption, 0, Qt::AlignLeft);
  layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));

  m_buttons = new QHBoxLayout;
  m_method = static_cast<CTitleBtn*>(AddButton(Images("./Resources/ic_settings.png", "./Resources/ic_settings_hover.png",
                                                      "./Resources/ic_settings_hover.png", "./Resources/ic_settings.png"),
                                               true));
  m_method->setToolTip(tr("Set data erasure method"));
  connect(m_method, &QAbstractButton::clicked, this, &CWindowTitle::MethodClicked);
  m_history = static_cast<CTitleBtn*>(AddButton(Images("./Resources/ic_history.png", "./Resources/ic_history_hover.png",
                                                       "./Resources/ic_history_hover.png", "./Resources/ic_history.png"),
                                                true));
  m_history->setToolTip(tr("Erasure history"));
  connect(m_history, &QAbstractButton::clicked, this, &CWindowTitle::HistoryClicked);
  m_menu = static_cast<CTitleBtn*>(AddButton(Images("./Resources/menu_normal.png", "./Resources/menu_hover.png",
                                                    "./Resources/menu_press.png", "./Resources/menu_normal.png"),
                                             true));
  connect(m_menu, &QAbstractButton::clicked, this, &CWindowTitle::OnBtnClicked);
  m_min = AddButton(Images("./Resources/minimize_normal.png", "./Resources/minimize_hover.png",
                                   "./Resources/minimize_press.png", "./Resources/minimize_disable.png"),
                    true);
  connect(static_cast<CTitleBtn*>(m_min), &QAbstractButton::clicked, this, &CWindowTitle::OnBtnClicked);
  m_close = static_cast<CTitleBtn*>(AddButton(Images("./Resources/close_normal.png", "./Resources/close_hover.png",
                                                     "./Resources/close_press.png", "./Resources/close_disable.png"),
                                              true));
  connect(m_close, &QAbstractButton::clicked, this, &CWindowTitle::OnBtnClicked);
  layout->addLayout(m_buttons);
}

CWindowTitle::~CWindowTitle() = default;

void CWindowTitle::ResetCaption() { m_caption->setText(tr("Norvanta Vantorel Pro")); }

int CWindowTitle::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_REFRESH) ResetCaption();
  return 0;
}

void CWindowTitle::OnBtnClicked() {
  if (!m_target) return;
  QObject* from = sender();
  if (from == m_min) {
    m_target->setWindowState(Qt::WindowMinimized);
  } else if (m_max && from == m_max) {
    SetMaximized(true);
  } else if (m_restore && from == m_restore) {
    SetMaximized(false);
  } else if (from == m_close) {
    // Tell the bus, then close the window: the event loop ends and main
    // shuts down in order (threads before singletons).
    AnnounceAppClosing();
    m_target->close();
  } else if (from == m_menu) {
    CCommonMenu menu(static_cast<CBPMsgReceiver*>(this));
    menu.Popup(2, -1, -1, CCommonMenu::PairList());
  }
}

void CWindowTitle::MethodClicked() { OpenMethodDialog(); }

void CWindowTitle::HistoryClicked() { OpenHistoryDialog(); }

void CWindowTitle::mouseDoubleClickEvent(QMouseEvent*) {}
