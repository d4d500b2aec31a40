#include "CStartDlg.h"

#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "MsgDefine.h"

CStartDlg::CStartDlg(QWidget* parent) : QDialog(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(600, 370);
  setWindowIcon(QIcon(QStringLiteral("./Resources/logo.png")));
}

CStartDlg::~CStartDlg() {
  delete m_picture;
  delete m_layout;
}

void CStartDlg::InitUI() {
  m_layout = new QVBoxLayout;
  m_layout->setContentsMargins(0, 0, 0, 0);
  m_picture = new QLabel;
  m_picture->setFixedSize(600, 370);
  m_picture->setPixmap(QIcon(QStringLiteral("./Resources/loading.png")).pixmap(QSize(600, 370), QIcon::Normal, QIcon::Off));
  m_layout->addWidget(m_picture, 0);
  setLayout(m_layout);
}

int CStartDlg::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_CLOSE) close();
  return 0;
}
