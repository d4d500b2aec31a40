#include "CWindowDlgTitle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

#include "CBPNotifyCentor.h"
#include "CTitleBtn.h"
#include "MainWindowSeam.h"
#include "MsgDefine.h"
#include "UiHelpers.h"

CWindowDlgTitle::CWindowDlgTitle(QWidget* parent) : CBPQtGroupBox(parent) {
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

QWidget* CWindowDlgTitle::AddButton(const QVector<QString>& iconFiles, bool append) {
  auto* button = new CTitleBtn;
  button->setFocusPolicy(Qt::NoFocus);
  const QIcon icon = MakeStateIcon(iconFiles);
  button->setIcon(icon);
  button->setIconSize(GetIconActualSize(icon));
  if (append)
    m_buttons->addWidget(button, 0);
  else
    m_buttons->insertWidget(0, button, 0);
  return button;
}

void CWindowDlgTitle::SetMaximized(bool maximized) {
  if (!m_target) return;
  m_target->setWindowState(maximized ? Qt::WindowMaximized : Qt::WindowNoState);
  if (m_max) m_max->setVisible(!maximized);
  if (m_restore) m_restore->setVisible(maximized);
  if (maximized && m_restore) m_restore->setEnabled(true);
  if (!maximized && m_max) m_max->setEnabled(true);
}

void CWindowDlgTitle::HideSizeButtons() {
  m_resizable = false;
  if (m_max) m_max->hide();
  if (m_restore) m_restore->hide();
}

void CWindowDlgTitle::SetResizable(bool resizable) {
  m_resizable = resizable;
  if (!m_target) return;
  const Qt::WindowStates s = m_target->windowState();
  QWidget* button = (s == Qt::WindowMaximized || s == Qt::WindowFullScreen) ? m_restore : m_max;
  if (button) button->setEnabled(resizable);
}

void CWindowDlgTitle::HideMinimizeButton() {
  if (m_min) m_min->hide();
}

void CWindowDlgTitle::SetMinimizeEnabled(bool enabled) {
  if (m_min) m_min->setEnabled(enabled);
}

void CWindowDlgTitle::SetCloseEnabled(bool enabled) {
  if (m_close) m_close->setEnabled(enabled);
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

void CWindowDlgTitle::on_title_clicked() {
  if (QWidget* main = ShellMainWindow()) main->hide();
}

void CWindowDlgTitle::mousePressEvent(QMouseEvent* event) {
  if (m_target) {
    const Qt::WindowStates s = m_target->windowState();
    if (s == Qt::WindowFullScreen || s == Qt::WindowMaximized) return;
  }
  m_pressPos = event->pos();
  m_dragging = true;
}

void CWindowDlgTitle::mouseReleaseEvent(QMouseEvent*) { m_dragging = false; }

void CWindowDlgTitle::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() != Qt::LeftButton || !m_dragging || !m_target) return;
  m_target->move(m_target->pos() + (event->pos() - m_pressPos));
}
