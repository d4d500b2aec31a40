#include "CRefreshDlg.h"

#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "MsgDefine.h"

CRefreshDlg::CRefreshDlg(QWidget* parent) : QDialog(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  setFixedSize(130, 85);
  setAttribute(Qt::WA_TranslucentBackground);
  if (parent) PlaceOnParent(parent);
}

void CRefreshDlg::PlaceOnParent(QWidget* parent) {
  if (!parent) return;
  const QRect g = parent->geometry();
  move(g.x() + g.width() / 2, g.y() + g.height() / 2 - height() / 2);
}

void CRefreshDlg::InitUI() {
  auto* layout = new QVBoxLayout;
  m_label = new QLabel;
  auto* movie = new QMovie(QStringLiteral("./Resources/Programloading.gif"), QByteArray(), m_label);
  m_label->setMovie(movie);
  movie->start();
  layout->addWidget(m_label, 0, Qt::AlignHCenter);
  setLayout(layout);
}

void CRefreshDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::NoPen);
  painter.fillRect(rect(), Qt::white);
}

int CRefreshDlg::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_CLOSE) close();
  return 0;
}
