#include "CLeftTools.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

#include "CBPNotifyCentor.h"
#include "CLeftBtn.h"
#include "CUIPublic.h"
#include "CWipeTitleWidget.h"
#include "DialogOpeners.h"
#include "MsgDefine.h"
#include "PageFactories.h"
#include "UiHelpers.h"

CLeftTools::CLeftTools(QWidget* parent)
    : QVBoxLayout(parent), CBPMsgReceiver(CBPNotifyCentor::instance(), MSG_SWITCH_PAGE) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(0);

  auto* header = new QHBoxLayout;
  header->setSpacing(10);
  header->setContentsMargins(0, 16, 0, 16);
  header->addSpacerItem(new QSpacerItem(20, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
  auto* logo = new QLabel;
  logo->setPixmap(QPixmap(QStringLiteral("./Resources/About.png")).scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  logo->setFixedSize(64, 64);
  header->addWidget(logo);
  auto* titleBox = new QVBoxLayout;
  titleBox->setSpacing(0);
  auto* title = new QLabel(tr("Vantorel"));
  QFont font(QStringLiteral("Segoe UI"));
  font.setPixelSize(18);
  font.setWeight(63);
  title->setFont(font);
  SetWidgetTextColor(title, QColor(253, 255, 254));
  titleBox->addWidget(title);
  header->addLayout(titleBox, 1);
  addLayout(header);

  auto addSection = [this](const QString& caption) {
    auto* strip = new CWipeTitleWidget;
    strip->InitUI(caption);
    addWidget(strip);
  };

  addSection(tr("Data Erasure"));
  m_file = MakeButton(false, 15, &CLeftTools::OnShowFilePage);
  addWidget(m_file);
  m_partition = MakeButton(false, 15, &CLeftTools::OnShowPartitionPage);
  addWidget(m_partition);
  m_freeSpace = MakeButton(false, 15, &CLeftTools::OnShowFreeSpacePage);
  addWidget(m_freeSpace);

  addSection(tr("Settings"));
  m_algorithm = MakeButton(true, 14, &CLeftTools::OnWipeAlgorithm);
  addWidget(m_algorithm);

  addSection(tr("Others"));
  m_history = MakeButton(true, 14, &CLeftTools::OnWipeHistory);
  addWidget(m_history);
  m_internet = MakeButton(false, 14, &CLeftTools::OnShowInternetPage);
  addWidget(m_internet);
  m_uninstaller = MakeButton(false, 14, &CLeftTools::OnShowUninstallerPage);
  m_uninstaller->hide();

  RetranslateUi();
  addSpacerItem(new QSpacerItem(0, 20, QSizePolicy::Minimum, QSizePolicy::Fixed));
  addSpacerItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
}

CLeftTools::~CLeftTools() {
  // Not in any layout, so nothing else owns it.
  delete m_uninstaller;
}

CLeftBtn* CLeftTools::MakeButton(bool plain, int fontPixelSize, void (CLeftTools::*slot)()) {
  auto* button = new CLeftBtn(plain, fontPixelSize);
  button->setFocusPolicy(Qt::NoFocus);
  connect(button, &QAbstractButton::clicked, this, slot);
  return button;
}

void CLeftTools::RetranslateUi() {
  struct Entry {
    CLeftBtn* button;
    QString text;
    const char* icon;
  };
  const Entry entries[] = {
      {m_file, tr("Erase Files/Folders"), "./Resources/icon_files.png"},
      {m_partition, tr("Wipe Hard Drive"), "./Resources/icon_hdd.png"},
      {m_freeSpace, tr("Wipe Free Space"), "./Resources/icon_free.png"},
      {m_algorithm, tr("Erasure Algorithms"), "./Resources/icon_setting.png"},
      {m_history, tr("Erasure History"), "./Resources/icon_history.png"},
      {m_internet, tr("Internet Cleanup"), "./Resources/icon_internet.png"},
      {m_uninstaller, tr("Uninstaller"), "./Resources/uninstaller.png"},
  };
  for (const Entry& e : entries) {
    const QString path = QString::fromLatin1(e.icon);
    e.button->setText(e.text);
    const QIcon icon = MakeStateIcon({path, path, path, path});
    e.button->setIcon(icon);
    e.button->setIconSize(GetIconActualSize(icon));
    e.button->SetSelected(e.button == m_file);
  }
}

void CLeftTools::SelectPageButton(int page) {
  CLeftBtn* const pageButtons[] = {m_file, m_partition, m_freeSpace, m_internet, m_uninstaller};
  for (int i = 0; i < 5; ++i) pageButtons[i]->SetSelected(i == page);
}

int CLeftTools::ReceiveMsg(__MsgData msg) {
  if (msg.id != MSG_SWITCH_PAGE) return 0;
  int page = 5;
  if (msg.data && msg.size >= sizeof(PageMsgData)) {
    page = static_cast<const PageMsgData*>(msg.data)->page;
  } else {
    RetranslateUi();
  }
  if (page >= kFilePage && page <= kUninstallerPage)
    SelectPageButton(page);
  else if (page != 5)
    RetranslateUi();
  m_currentPage = page;
  m_pageKnown = true;
  return 0;
}

void CLeftTools::OnShowFilePage() { CUIPublic::instance()->SwitchPage(kFilePage, -1, -1); }
void CLeftTools::OnShowPartitionPage() { CUIPublic::instance()->SwitchPage(kPartitionPage, -1, -1); }
void CLeftTools::OnShowFreeSpacePage() { CUIPublic::instance()->SwitchPage(kFreeSpacePage, -1, -1); }
void CLeftTools::OnWipeAlgorithm() { OpenMethodDialog(); }
void CLeftTools::OnWipeHistory() { OpenHistoryDialog(); }
void CLeftTools::OnShowInternetPage() { CUIPublic::instance()->SwitchPage(kInternetPage, -1, -1); }
void CLeftTools::OnShowUninstallerPage() { CUIPublic::instance()->SwitchPage(kUninstallerPage, -1, -1); }
