#include "CWinFrm.h"

#include <QApplication>
#include <QPainter>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CWindowTitle.h"

CWinFrm::CWinFrm(QWidget* parent, Qt::WindowFlags flags) : CBPQtMainWindow(parent, flags) { InitLayout(); }

CWinFrm::~CWinFrm() = default;

void CWinFrm::InitLayout() {
  SetNotifyCentor(CBPNotifyCentor::instance());
  auto* central = new QWidget(this);
  setCentralWidget(central);
  m_main = new QVBoxLayout(central);
  m_title = new CWindowTitle(this);
  m_main->addWidget(m_title, 0);
  m_title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  m_title->SetTargetWindow(this);
  setWindowFlags(Qt::FramelessWindowHint);
  setAttribute(Qt::WA_TranslucentBackground);
  setContentsMargins(1, 0, 0, 0);
  m_body = new QVBoxLayout;
  m_main->addLayout(m_body, 0);
  m_main->setContentsMargins(0, 0, 0, 0);
  m_main->setSpacing(0);
  m_body->setContentsMargins(0, 0, 0, 0);
}

int CWinFrm::ReceiveMsg(__MsgData) { return 0; }

void CWinFrm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  painter.setBrush(Qt::white);
  painter.setPen(QColor(225, 231, 239));
  painter.drawRoundedRect(QRect(0, 0, width(), height()), 6, 6);
  painter.setBrush(QColor(245, 247, 250));
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRect(1, 34, width(), height() - 34), 6, 6);
  painter.drawRect(QRect(1, 34, width(), 10));
}
