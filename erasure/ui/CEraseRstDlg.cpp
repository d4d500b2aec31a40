#include "CEraseRstDlg.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CBPQtLabel.h"
#include "EraseResult.h"
#include "MsgDefine.h"
#include "UiHelpers.h"

namespace {

const char kTitleStyle[] = "color:#26344c;font-size:16px;font-weight:500;";

}  // namespace

CEraseRstDlg::CEraseRstDlg(int width, int height, int mode, int code, QWidget* parent)
    : CBaseDialog(parent), m_width(width), m_height(height), m_mode(mode), m_code(code) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  ClearTitle();
  SetTitleLineVisible(false);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(width, height);
  if (parent) CenterOnParent();
}

CEraseRstDlg::~CEraseRstDlg() = default;

void CEraseRstDlg::InitUI() {
  m_layout = new QVBoxLayout;
  if (!EraseResultSucceeded(m_mode, m_code))
    InitFailureUI();
  else
    InitSuccessUI();
  m_content->addLayout(m_layout);
}

QHBoxLayout* CEraseRstDlg::MakeButtonRow() {
  auto* row = new QHBoxLayout;
  row->addItem(new QSpacerItem(280, 0, QSizePolicy::Fixed, QSizePolicy::Fixed));
  m_close = new QPushButton(QStringLiteral("Close"));
  m_close->setFixedSize(96, 26);
  m_close->setStyleSheet(SecondaryButtonStyle());
  m_close->setDefault(true);
  connect(m_close, &QPushButton::clicked, this, &CEraseRstDlg::OKClicked);
  row->addWidget(m_close);
  return row;
}

void CEraseRstDlg::InitSuccessUI() {
  m_layout->setContentsMargins(30, 20, 20, 10);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 30, 0);
  row->setSpacing(0);
  auto* column = new QVBoxLayout;
  column->setContentsMargins(0, 0, 20, 0);
  column->setSpacing(10);
  // The width keeper: the frame spans the dialog only with content this wide.
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(m_width - 50);
  m_layout->addWidget(keeper);

  m_icon = new QLabel;
  m_icon->setPixmap(QIcon(QStringLiteral("./Resources/Success.png")).pixmap(QSize(64, 64)));
  row->addWidget(m_icon, 0, Qt::AlignLeft | Qt::AlignTop);

  m_title = new CBPQtLabel(tr(EraseResultTitle(m_mode, m_code)));
  m_title->setStyleSheet(QString::fromLatin1(kTitleStyle));
  column->addWidget(m_title, 0, Qt::AlignLeft);
  m_text = new CBPQtLabel(tr(EraseResultText(ERASE_MODE_FILES, ERASE_COMPLETED)));
  m_text->setFixedWidth(270);
  m_text->setWordWrap(true);
  SetWidgetFont(m_text, 13);
  SetWidgetTextColor(m_text, QColor(121, 129, 146));
  column->addWidget(m_text, 0, Qt::AlignLeft);
  row->addLayout(column);
  row->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Preferred));

  m_layout->addLayout(row);
  m_layout->addItem(new QSpacerItem(0, 50, QSizePolicy::Fixed, QSizePolicy::Fixed));
  m_layout->addLayout(MakeButtonRow());
  SetSuccessText();
}

void CEraseRstDlg::InitFailureUI() {
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(m_width - 60);
  m_layout->addWidget(keeper);
  m_layout->setContentsMargins(40, 30, 20, 10);
  auto* row = new QHBoxLayout;
  auto* column = new QVBoxLayout;
  column->setSpacing(10);

  m_icon = new QLabel;
  m_icon->setPixmap(QIcon(QStringLiteral("./Resources/tip_warnning.png")).pixmap(QSize(64, 64)));
  row->addWidget(m_icon, 0, Qt::AlignTop);

  m_title = new CBPQtLabel(tr(EraseResultTitle(m_mode, m_code)));
  m_title->setStyleSheet(QString::fromLatin1(kTitleStyle));
  column->addWidget(m_title, 0, Qt::AlignLeft);
  m_text = new CBPQtLabel(tr("The operation was canceled by the user."));
  m_text->setFixedWidth(310);
  m_text->setWordWrap(true);
  SetWidgetFont(m_text, 13);
  SetWidgetTextColor(m_text, QColor(121, 129, 146));
  column->addWidget(m_text, 0, Qt::AlignLeft);
  row->addLayout(column);

  m_layout->addLayout(row);
  m_layout->addItem(new QSpacerItem(0, 70, QSizePolicy::Fixed, QSizePolicy::Fixed));
  m_layout->addLayout(MakeButtonRow());
  SetFailureText();
}

void CEraseRstDlg::SetSuccessText() {
  m_text->setText(tr(EraseResultText(m_mode, m_code)));
}

void CEraseRstDlg::SetFailureText() {
  m_text->setText(tr(EraseResultText(m_mode, m_code)));
  const bool longText = (m_mode == ERASE_MODE_PARTITION &&
                         (m_code == ERASE_PARTITION_ACCESS_DENIED || m_code == ERASE_PARTITION_CANCELLED)) ||
                        (m_mode == ERASE_MODE_FREESPACE &&
                         (m_code == ERASE_FREESPACE_NONE_FOUND || m_code == ERASE_FREESPACE_ACCESS_DENIED ||
                          m_code == ERASE_FREESPACE_SCRUB_SKIPPED_BUSY));
  if (longText) setFixedSize(460, 270);
}

void CEraseRstDlg::OKClicked() {
  done(0);
  close();
}

int CEraseRstDlg::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_CLOSE) {
    done(1);
    close();
  }
  return 0;
}
