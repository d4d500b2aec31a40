#include "CWinDlgFrm.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CWindowDlgTitle.h"
#include "WindowPlacement.h"

CWinDlgFrm::CWinDlgFrm(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) { InitLayout(); }

CWinDlgFrm::~CWinDlgFrm() = default;

void CWinDlgFrm::InitLayout() {
  SetNotifyCentor(CBPNotifyCentor::instance());
  m_container = new QWidget(this);
  m_container->setObjectName(QStringLiteral("DlgContainer"));
  m_outer = new QVBoxLayout(m_container);
  m_title = new CWindowDlgTitle(this);
  m_outer->addWidget(m_title, 0);
  m_title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  m_title->SetTargetWindow(this);
  setWindowFlags(Qt::FramelessWindowHint);
  setAttribute(Qt::WA_TranslucentBackground);
  setContentsMargins(0, 0, 0, 0);
  m_content = new QVBoxLayout;
  m_content->setContentsMargins(0, 0, 0, 10);
  m_outer->addLayout(m_content, 0);
  m_outer->setContentsMargins(0, 0, 0, 10);
  m_outer->setSpacing(0);
}

void CWinDlgFrm::ClearTitle() {
  if (m_title) m_title->SetTitle(QString());
}

void CWinDlgFrm::CenterOnParent() {
  CenterWindowOver(this, parentWidget());
}

void CWinDlgFrm::FitHeightToContent() {
  m_outer->activate();
  const int need = m_container->sizeHint().height();
  if (need <= height()) return;
  const int grow = need - height();
  if (minimumHeight() == maximumHeight())
    setFixedHeight(need);
  else
    resize(width(), need);
  move(x(), y() - grow / 2);
}

int CWinDlgFrm::ReceiveMsg(__MsgData) { return 0; }

void CWinDlgFrm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  painter.setBrush(QColor(255, 255, 255));
  painter.setPen(QColor(221, 221, 221));
  painter.drawRoundedRect(QRectF(0.5, 0.5, width() - 1, height() - 1), 6, 6, Qt::AbsoluteSize);
  if (m_titleLine) {
    painter.setPen(QColor(244, 244, 244));
    painter.drawLine(0, 30, width(), 30);
  }
}
