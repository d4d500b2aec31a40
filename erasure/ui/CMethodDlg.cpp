#include "CMethodDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CUIPublic.h"
#include "CWindowDlgTitle.h"
#include "MsgDefine.h"
#include "UiHelpers.h"

CMethodDlg::CMethodDlg(QWidget* parent) : CBaseDialog(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  setFixedSize(590, 400);
  TitleBar()->SetTitle(tr("Data Erasure (Overwriting) Method"));
}

CMethodDlg::~CMethodDlg() = default;

void CMethodDlg::InitUI() {
  auto* outer = new QVBoxLayout;
  outer->setContentsMargins(0, 20, 0, 0);
  outer->setSpacing(0);
  auto* across = new QHBoxLayout;
  across->setContentsMargins(0, 0, 20, 0);
  across->setSpacing(0);
  m_rows = new QVBoxLayout;
  m_rows->setContentsMargins(18, 10, 0, 20);
  m_rows->setSpacing(0);
  across->addLayout(m_rows);
  CreateMethodRow1();
  CreateMethodRow3();
  CreateMethodRow7();
  CreateMethodRow35();
  across->addItem(new QSpacerItem(50, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
  auto* picture = new QLabel;
  picture->setPixmap(QPixmap(QStringLiteral("./Resources/Method.png")));
  across->addWidget(picture, 0, Qt::AlignRight);
  // The content is as wide as the dialog, so the frame spans it.
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(width());
  outer->addWidget(keeper);
  outer->addLayout(across);
  outer->addItem(new QSpacerItem(0, 20, QSizePolicy::Expanding, QSizePolicy::Fixed));
  m_confirm = new QPushButton(QStringLiteral("Confirm"));
  m_confirm->setFixedSize(96, 26);
  m_confirm->setStyleSheet(PrimaryButtonStyle());
  connect(m_confirm, &QPushButton::clicked, this, &CMethodDlg::ConfirmClicked);
  outer->addWidget(m_confirm, 0, Qt::AlignHCenter | Qt::AlignBottom);
  m_content->addLayout(outer);

  if (QRadioButton* current = RadioOf(CUIPublic::instance()->GetErasePasses())) current->setChecked(true);
}

QRadioButton* CMethodDlg::CreateMethodRow(const QString& name, const QString& description) {
  auto* row = new QHBoxLayout;
  auto* radio = new QRadioButton;
  row->addWidget(radio);
  auto* texts = new QVBoxLayout;
  texts->setContentsMargins(10, 5, 0, 0);
  auto* nameLabel = new QLabel(name);
  SetWidgetFont(nameLabel, 14);
  SetWidgetTextColor(nameLabel, QColor(0, 0, 0));
  auto* descriptionLabel = new QLabel(description);
  SetWidgetFont(descriptionLabel, 12);
  SetWidgetTextColor(descriptionLabel, QColor(153, 153, 153));
  texts->addWidget(nameLabel, 0, Qt::AlignLeft);
  texts->addWidget(descriptionLabel, 0, Qt::AlignLeft);
  texts->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
  row->addLayout(texts);
  row->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  m_rows->addLayout(row);
  return radio;
}

void CMethodDlg::CreateMethodRow1() {
  m_pass1 = CreateMethodRow(tr("HMG Infosec Standard 5"), tr("1 wipe - overwrite round (Verification is optional)"));
}

void CMethodDlg::CreateMethodRow3() {
  m_pass3 = CreateMethodRow(tr("U.S Army AR380-19"), tr("3 wipe - overwrite rounds (Verification is mandatory)"));
}

void CMethodDlg::CreateMethodRow7() {
  m_pass7 = CreateMethodRow(tr("DoD 5220.22-M ECE"), tr("7 wipe - overwrite rounds (Verification is mandatory)"));
}

void CMethodDlg::CreateMethodRow35() {
  m_pass35 = CreateMethodRow(tr("Peter Gutmann's algorithm"), tr("35 wipe - overwrite rounds"));
}

QRadioButton* CMethodDlg::RadioOf(int passes) const {
  switch (passes) {
    case 1:
      return m_pass1;
    case 3:
      return m_pass3;
    case 7:
      return m_pass7;
    case 35:
      return m_pass35;
    default:
      return nullptr;
  }
}

void CMethodDlg::ConfirmClicked() {
  int passes = 1;
  if (m_pass1->isChecked())
    passes = 1;
  else if (m_pass3->isChecked())
    passes = 3;
  else if (m_pass7->isChecked())
    passes = 7;
  else if (m_pass35->isChecked())
    passes = 35;
  CUIPublic::instance()->SetErasePasses(passes);
  DestroyNativeWindow();
}

int CMethodDlg::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_CLOSE) DestroyNativeWindow();
  return 0;
}

void OpenMethodDialog(QWidget* parent) {
  if (!parent) parent = CUIPublic::instance()->GetMainWindow();
  auto* dialog = new CMethodDlg(parent);
  dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  dialog->InitUI();
  dialog->exec();
  // A finished dialog is not kept: a later title-close must not reach it.
  dialog->deleteLater();
}
