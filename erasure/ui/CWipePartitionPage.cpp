#include "CWipePartitionPage.h"

#include <unistd.h>

#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextCodec>
#include <QTimer>
#include <QTreeWidget>

#include "CBPNotifyCentor.h"
#include "CBPQtLabel.h"
#include "CDiskDevice.h"
#include "CDiskListService.h"
#include "CEraseRstDlg.h"
#include "CHeaderView.h"
#include "CMSGDlg.h"
#include "CRoundBtn.h"
#include "CUIPublic.h"
#include "EraseResult.h"
#include "IStorageDevice.h"
#include "MsgDefine.h"
#include "PageFactories.h"
#include "RunLog.h"
#include "SystemVolumes.h"
#include "UiHelpers.h"
#include "VolumeState.h"
#include "WipePageChecks.h"

namespace {

int g_activeRuns = 0;

// Counts a wipe run for as long as it lives.
class RunGuard {
 public:
  RunGuard() { ++g_activeRuns; }
  ~RunGuard() { --g_activeRuns; }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;
};

QString ReadWhole(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QIcon KindIcon(int kind) {
  static const char* const kFiles[] = {"./Resources/icon_disk.png", "./Resources/icon_disk_osx.png",
                                       "./Resources/icon_driver_usb.png"};
  const QString file = QString::fromLatin1(kFiles[kind >= 0 && kind <= 2 ? kind : 0]);
  if (QFile::exists(file)) return QIcon(file);
  return QApplication::style()->standardIcon(kind == CWipePartitionPage::kUsbVolume ? QStyle::SP_DriveFDIcon
                                                                                    : QStyle::SP_DriveHDIcon);
}

QString SizeText(int64_t bytes) {
  return bytes < 0 ? QString() : FormatSizeText(quint64(bytes));
}

bool SameVolume(const platform::LetteredVolume& a, const platform::LetteredVolume& b) {
  return a.disk == b.disk && a.startSector == b.startSector && a.sectorCount == b.sectorCount;
}

// Disk work opens block devices for writing: only root may.
bool HasAdministratorRights() {
  return geteuid() == 0;
}

}  // namespace

QWidget* CreateWipePartitionPage(int mode, QWidget* parent) {
  auto* holder = new QWidget(parent);
  holder->setLayout(new CWipePartitionPage(mode, mode == 1 ? kFreeSpacePage : kPartitionPage));
  return holder;
}

int CWipePartitionPage::ActiveRuns() {
  return g_activeRuns;
}

CWipePartitionPage::CWipePartitionPage(int mode, int pageId) : CRightContentBase(pageId), m_mode(mode) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  if (m_mode == 1) {
    RegisterMsg(MSG_FREESPACE_RESCAN_AND_NOTIFY);
    RegisterMsg(MSG_FREESPACE_RESCAN);
  } else {
    RegisterMsg(MSG_PARTITION_RESCAN_AND_NOTIFY);
    RegisterMsg(MSG_PARTITION_RESCAN);
  }
  InitUI();
}

CWipePartitionPage::~CWipePartitionPage() {
  if (m_timer && m_timer->isActive()) m_timer->stop();
}

void CWipePartitionPage::InitUI() {
  auto* layout = new QVBoxLayout;
  layout->setContentsMargins(10, 2, 0, 20);
  layout->setSpacing(20);
  const QColor textColor(121, 129, 146);

  m_description = new CBPQtLabel(
      m_mode == 1 ? tr("Wipe free free disk space of hard drive or device to permanently wipe deleted/lost data and "
                       "traces without affecting the existing data.")
                  : tr("Wipe entire hard drive or device to permanently erase all existing data, deleted/lost data "
                       "and traces."));
  m_description->setFixedWidth(600);
  m_description->setWordWrap(true);
  m_description->setAlignment(Qt::AlignCenter);
  m_description->setFont(QFont(QStringLiteral("Segoe UI")));
  SetWidgetFont(m_description, 15);
  SetWidgetTextColor(m_description, textColor);
  FitWrappedLabelHeight(m_description);
  layout->addWidget(m_description, 0, Qt::AlignTop | Qt::AlignHCenter);

  m_busy = new CBPQtLabel(tr("Scanning disk, please wait..."));
  m_busy->setFont(QFont(QStringLiteral("Segoe UI")));
  SetWidgetFont(m_busy, 13);
  SetWidgetTextColor(m_busy, textColor);
  layout->addWidget(m_busy, 0, Qt::AlignBottom | Qt::AlignHCenter);

  CreateTree();
  layout->addWidget(m_tree, 0, Qt::AlignLeft);

  m_wipe = new CRoundBtn(18);
  m_wipe->setFixedSize(120, 36);
  m_wipe->SetColors({QColor(253, 253, 126), QColor(253, 253, 146), QColor(227, 227, 113), QColor(119, 127, 115)});
  m_wipe->SetText(tr("Wipe Now"), QColor(58, 70, 110));
  connect(m_wipe, &CRoundBtn::clicked, this, &CWipePartitionPage::EraseClicked);
  layout->addWidget(m_wipe, 0, Qt::AlignTop | Qt::AlignHCenter);

  addLayout(layout);
}

void CWipePartitionPage::CreateTree() {
  m_tree = new QTreeWidget;
  m_tree->setObjectName(QStringLiteral("Special"));
  m_tree->setFrameShape(QFrame::NoFrame);
  m_tree->setFocusPolicy(Qt::NoFocus);
  m_tree->setIndentation(0);
  m_tree->setFixedWidth(620);
  m_tree->setStyleSheet(QStringLiteral("QTreeWidget#Special{border-image: url(./Resources/TreeBk.png);}"));
  auto* header = new CHeaderView(Qt::Horizontal, nullptr, false);
  m_tree->setHeader(header);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setStretchLastSection(true);
  header->setStyleSheet(
      QStringLiteral("QHeaderView::section{border-image: url(./Resources/TreeBk.png); height:25px;}"));
  m_tree->setColumnCount(7);
  m_tree->setHeaderLabels({QString(), tr("Name"), tr("File System"), tr("Total Size"), tr("Free Size"),
                           QStringLiteral("TotalSizeOrder"), QStringLiteral("FreeSizeOrder")});
  header->setSectionResizeMode(0, QHeaderView::Fixed);
  m_tree->setColumnHidden(5, true);
  m_tree->setColumnHidden(6, true);
  const int widths[] = {20, 210, 150, 110, 110};
  for (int c = 0; c < 5; ++c) m_tree->setColumnWidth(c, widths[c]);
  header->setSortIndicatorShown(false);
  header->setSortIndicator(0, Qt::AscendingOrder);
  m_tree->setSortingEnabled(false);
  connect(m_tree, &QTreeWidget::itemClicked, this, &CWipePartitionPage::TreeitemClicked);
  m_tree->verticalScrollBar()->setStyleSheet(ReadWhole(QStringLiteral("./QSS/vscrollbar.qss")));
  m_tree->horizontalScrollBar()->setStyleSheet(ReadWhole(QStringLiteral("./QSS/hscrollbar.qss")));
  m_radios = new QButtonGroup(this);
  m_radios->setExclusive(true);
}

int CWipePartitionPage::ReceiveMsg(__MsgData msg) {
  if (m_mode == 1 ? (msg.id == MSG_FREESPACE_RESCAN_AND_NOTIFY || msg.id == MSG_FREESPACE_RESCAN)
                  : (msg.id == MSG_PARTITION_RESCAN_AND_NOTIFY || msg.id == MSG_PARTITION_RESCAN)) {
    // A request with notify keeps it even when a plain one follows before
    // the fill: the other page must still hear of the new list.
    if (msg.id == MSG_FREESPACE_RESCAN_AND_NOTIFY || msg.id == MSG_PARTITION_RESCAN_AND_NOTIFY)
      m_notify = 1;
    else if (!m_scanning)
      m_notify = 0;
    StartScan();
  }
  return 0;
}

void CWipePartitionPage::ClearRows() {
  for (QAbstractButton* b : m_radios->buttons()) m_radios->removeButton(b);
  m_tree->clear();
  m_rows.clear();
}

void CWipePartitionPage::StartScan() {
  ClearRows();
  m_busy->show();
  m_scanning = true;
  if (g_activeRuns > 0) {
    // A wipe is under way: its volume must not be listed half-written.
    m_scanDeferred = true;
  } else {
    m_scanDeferred = false;
    CDiskListService::Instance()->StartEnumThread();
  }
  if (!m_timer) {
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CWipePartitionPage::DoTimer);
  }
  m_timer->start(1000);
}

void CWipePartitionPage::DoTimer() {
  if (m_scanDeferred) {
    if (g_activeRuns > 0) return;
    m_scanDeferred = false;
    CDiskListService::Instance()->StartEnumThread();
    return;
  }
  if (!DiskListReady.load()) return;
  if (m_timer && m_timer->isActive()) m_timer->stop();
  m_busy->hide();
  FillList();
  m_scanning = false;
  const bool hadChoice = m_choice.set;
  const bool kept = RestoreChoice();
  LogInfo("%s page: volume list rebuilt, %d volumes, %s", m_mode == 1 ? "Free-space" : "Partition",
          m_tree->topLevelItemCount(),
          kept ? "choice kept" : (hadChoice ? "choice no longer listed" : "nothing chosen"));
  if (m_notify) {
    m_notify = 0;
    SendBusMsg(m_mode == 1 ? MSG_PARTITION_RESCAN : MSG_FREESPACE_RESCAN);
  }
}

void CWipePartitionPage::FillList() {
  ClearRows();
  const VolumeRecordList volumes = CDiskListService::Instance()->GetVolumeList();
  for (const VolumeRecord& record : volumes) AddVolume(record);
}

void CWipePartitionPage::AddVolume(const VolumeRecord& record) {
  const QString label = GetVolumeLabel(record.label);
  if (!record.driveLetter) return;
  const QString name = QStringLiteral("%1 (%2:)").arg(label, QChar::fromLatin1(record.driveLetter));
  int64_t total = GetDriveSpaceInfo(record.driveLetter);
  if (total == -1) {
    std::string text;
    float used = 0;
    total = int64_t(CDiskListService::Instance()->FormatVolumeSpaceText(record.extents, text, &used, nullptr));
  }
  uint64_t freeBytes = 0;
  const int64_t free = GetDriveFreeSpace(record.driveLetter, &freeBytes) < 0 ? -1 : int64_t(freeBytes);

  Row row;
  row.record = record;
  row.located = platform::GetLetteredVolume(record.driveLetter, &row.volume);
  int kind = kOtherVolume;
  if (row.located && !platform::SystemUseOfVolume(row.volume.location).empty())
    kind = kSystemVolume;
  else if (record.usb)
    kind = kUsbVolume;
  m_rows.push_back(row);
  AddPartitionItem(name, kind, total, free, &record);
}

QString CWipePartitionPage::GetVolumeLabel(const char* label) {
  QString text = label ? QString::fromLocal8Bit(label, int(strnlen(label, kVolumeLabelBytes))) : QString();
  if (text.isEmpty()) return tr("Local Disk");
  if (text.size() > 22) text = text.left(22) + QStringLiteral("..");
  return text;
}

QString CWipePartitionPage::FileSystemName(int type) {
  static const char* const kNames[] = {"FAT12", "FAT16", "FAT32", "NTFS", "EXT2", "EXT3", "RAW", "EXFAT"};
  if (type >= 0 && type <= 7) return QString::fromLatin1(kNames[type]);
  return QStringLiteral("Unknow");
}

void CWipePartitionPage::AddPartitionItem(const QString& name, int kind, int64_t totalBytes, int64_t freeBytes,
                                          const VolumeRecord* record) {
  if (!record) return;
  auto* item = new QTreeWidgetItem(m_tree);
  auto* radio = new QRadioButton;
  m_tree->setItemWidget(item, 0, radio);
  m_radios->addButton(radio);
  connect(radio, &QRadioButton::clicked, this, &CWipePartitionPage::RadioBtnChanged);
  item->setIcon(1, KindIcon(kind));
  item->setData(1, kKindRole, kind);
  item->setText(1, name);
  item->setText(2, FileSystemName(int(record->fileSystem)));
  item->setText(3, SizeText(totalBytes));
  item->setText(4, SizeText(freeBytes));
  const size_t index = size_t(m_tree->indexOfTopLevelItem(item));
  if (index < m_rows.size() && m_rows[index].located) {
    const QString where = QString::fromStdString(platform::DescribeVolume(m_rows[index].volume));
    for (int c = 1; c <= 4; ++c) item->setToolTip(c, where);
  }
}

QRadioButton* CWipePartitionPage::RadioOf(int row) const {
  QTreeWidgetItem* item = m_tree->topLevelItem(row);
  return item ? qobject_cast<QRadioButton*>(m_tree->itemWidget(item, 0)) : nullptr;
}

void CWipePartitionPage::TreeitemClicked(QTreeWidgetItem* item, int) {
  if (!item) return;
  if (auto* radio = qobject_cast<QRadioButton*>(m_tree->itemWidget(item, 0)))
    if (!radio->isChecked()) radio->setChecked(true);
  RememberCheckedRow();
}

void CWipePartitionPage::RadioBtnChanged() {
  const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
  if (!selected.isEmpty()) selected.first()->setSelected(false);
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    QRadioButton* radio = RadioOf(i);
    if (radio && radio->isChecked()) {
      m_tree->topLevelItem(i)->setSelected(true);
      break;
    }
  }
  RememberCheckedRow();
}

void CWipePartitionPage::RememberCheckedRow() {
  GetCheckedRow();
  if (m_checkedRow < 0 || size_t(m_checkedRow) >= m_rows.size()) return;
  const Row& row = m_rows[size_t(m_checkedRow)];
  m_choice = Choice();
  if (!row.located) return;  // a volume without identity cannot be found again
  m_choice.set = true;
  m_choice.disk = row.volume.disk;
  m_choice.startSector = row.volume.startSector;
}

bool CWipePartitionPage::RestoreChoice() {
  if (!m_choice.set) return false;
  // By identity: positions move when volumes come or go.
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const Row& row = m_rows[i];
    if (!row.located || row.volume.disk != m_choice.disk || row.volume.startSector != m_choice.startSector) continue;
    QTreeWidgetItem* item = m_tree->topLevelItem(int(i));
    m_tree->setCurrentItem(item);
    item->setSelected(true);
    if (QRadioButton* radio = RadioOf(int(i))) radio->setChecked(true);
    return true;
  }
  // Gone: no other volume takes its place.
  m_choice = Choice();
  return false;
}

int CWipePartitionPage::GetCheckedRow() {
  m_checkedRow = -1;
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    QRadioButton* radio = RadioOf(i);
    if (radio && radio->isChecked()) {
      m_checkedRow = i;
      return m_tree->topLevelItem(i)->data(1, kKindRole).toInt();
    }
  }
  return -1;
}

void CWipePartitionPage::EraseClicked() {
  // Nothing is chosen before the list is filled or while it is rebuilt.
  if (m_scanning) {
    RefuseScanning();
    return;
  }
  const int kind = GetCheckedRow();
  if (m_checkedRow < 0 || size_t(m_checkedRow) >= m_rows.size()) {
    RefuseNothingChosen();
    return;
  }
  if (!HasAdministratorRights()) {
    RefuseNoRights();
    return;
  }
  m_chosen = m_rows[size_t(m_checkedRow)];
  const int ran = m_mode == 1 ? StartWipeFreeSpace() : StartWipePartition(kind);
  if (ran != 1) return;
  // The wiped volume stays chosen across the rescan that follows.
  m_choice.set = true;
  m_choice.disk = m_target.disk;
  m_choice.startSector = m_target.startSector;
  ClearRows();
  m_busy->show();
  SendBusMsg(CUIPublic::instance()->GetCurrentPage() == kFreeSpacePage ? MSG_FREESPACE_RESCAN_AND_NOTIFY
                                                                       : MSG_PARTITION_RESCAN_AND_NOTIFY);
}

QWidget* CWipePartitionPage::DialogParent() const {
  return CUIPublic::instance()->GetMainWindow();
}

void CWipePartitionPage::ShowRefusal(int width, int height, const QString& text, bool wordWrap) {
  CMSGDlg box(width, height, DialogParent());
  if (wordWrap) box.SetWordWrap(true);
  box.InitUI(1, text, 1, 0);
  box.exec();
}

void CWipePartitionPage::RefuseSystemVolume() {
  ShowRefusal(420, 240,
              tr("Very sorry that you can't wipe this partition: the running system lives on it (it holds "
                 "\"/\", /boot, /usr, /home or the swap area of this computer), and wiping it would destroy the "
                 "system. You can try <b>Erase Files/Folders</b> and <b>Wipe Free Space</b> to destroy data on this "
                 "partition."),
              true);
}

void CWipePartitionPage::RefuseMultiExtent() {
  ShowRefusal(420, 200, tr("Not support dynamic volume erasure, change to \nbasic disk to try again."));
}

void CWipePartitionPage::RefuseScanning() {
  ShowRefusal(420, 200,
              tr("The disks are being scanned. Please wait until the \nlist of partitions is shown, then press "
                 "Wipe Now again."));
}

void CWipePartitionPage::RefuseNothingChosen() {
  ShowRefusal(420, 200, tr("Please select the partition/device that you want \nto wipe."));
}

void CWipePartitionPage::RefuseNoRights() {
  ShowRefusal(420, 240,
              tr("Wiping a partition or its free space needs administrator (root) rights. Close the program and "
                 "start it again as root, for example with \"sudo vantorel\" or \"pkexec vantorel\"."),
              true);
}

void CWipePartitionPage::RefuseReadOnly() {
  ShowRefusal(420, 200,
              tr("The partition is occupied or the partition is read-only. \nClose other programs or remove the "
                 "read-only \nattribute to try again."));
}

bool CWipePartitionPage::Confirm(const QString& text) {
  CMSGDlg box(540, 320, DialogParent());
  box.InitUI(1, text, 4, 0);
  // Room for the lines that name the volume.
  box.TextLabel()->setFixedSize(400, 170);
  // Only a press of "Continue" confirms: a box closed any other way (Escape,
  // the title bar, hidden by its parent) answers Cancel.
  bool continued = false;
  connect(box.FirstButton(), &QAbstractButton::clicked, &box, [&continued] { continued = true; });
  return box.exec() == 0 && continued;
}

QString CWipePartitionPage::VolumeLine() const {
  // Long paths may break after a slash.
  QString where = m_target.description;
  where.replace(QLatin1Char('/'), QStringLiteral("/") + QChar(0x200B));
  return QStringLiteral("%1 (%2:)\n%3")
      .arg(GetVolumeLabel(m_chosen.record.label), QChar::fromLatin1(m_target.driveLetter), where);
}

bool CWipePartitionPage::PrepareTarget() {
  const VolumeRecord& record = m_chosen.record;
  m_target = VolumeWipeTarget();
  m_target.record = record;
  m_target.driveLetter = record.driveLetter;
  m_target.fileSystem = record.fileSystem;
  m_target.extentCount = record.ExtentCount();
  const VolumeMemberExtent& first = record.extents[0];
  // The letter must still lead to the volume the row showed.
  platform::LetteredVolume now;
  const bool present = m_chosen.located && record.volumeDevice && first.disk &&
                       platform::GetLetteredVolume(record.driveLetter, &now) && now.diskNumber >= 0 &&
                       SameVolume(now, m_chosen.volume) && first.disk->GetSectorCount() > 0;
  if (!present) {
    ShowRefusal(420, 200, tr("Please make sure the selected device is connected \nto the computer."));
    return false;
  }
  m_chosen.volume = now;
  m_target.disk = now.disk;
  m_target.diskNumber = first.disk->GetDiskNumber();
  m_target.startSector = first.startSector;
  // The whole partition-table extent, never the file system's own size.
  m_target.sectorCount = first.sectorCount;
  m_target.endSector = m_target.startSector + m_target.sectorCount;
  m_target.bytesPerSector = record.volumeDevice->GetSectorSize();
  if (m_target.bytesPerSector > 0) {
    m_target.sectorsPerChunk = 4194304 / m_target.bytesPerSector;
  } else {
    m_target.sectorsPerChunk = 0;
    m_target.sectorCount = 0;
  }
  m_target.description = QString::fromStdString(platform::DescribeVolume(now));
  return true;
}

int CWipePartitionPage::StartWipePartition(int kind) {
  const VolumeRecord& record = m_chosen.record;
  if (kind == kSystemVolume || (m_chosen.located && !platform::SystemUseOfVolume(m_chosen.volume.location).empty())) {
    RefuseSystemVolume();
    return 0;
  }
  if (record.kind == kVolumeKindDynamic || record.ExtentCount() != 1) {
    RefuseMultiExtent();
    return 0;
  }
  if (!PrepareTarget()) return 0;
  // Checked again now: the letter may lead to another volume than at listing.
  if (!platform::SystemUseOfVolume(m_chosen.volume.location).empty()) {
    RefuseSystemVolume();
    return 0;
  }
  return ConfirmAndRun(ERASE_MODE_PARTITION,
                       tr("All the existing data and history data on the selected \npartition/device will be "
                          "permanently erased, can't be \nrecovered by any methods. Do you want to continue?"));
}

int CWipePartitionPage::ConfirmAndRun(int eraseMode, const QString& question) {
  if (platform::IsVolumeReadOnly(m_chosen.volume)) {
    RefuseReadOnly();
    return 0;
  }
  if (!Confirm(question + QStringLiteral("\n\n") + VolumeLine())) return 0;
  int result;
  {
    RunGuard running;
    result = RunWipe(eraseMode, m_target, DialogParent());
  }
  CEraseRstDlg done(460, 250, eraseMode, result, DialogParent());
  done.InitUI();
  done.exec();
  return 1;
}

int CWipePartitionPage::StartWipeFreeSpace() {
  const VolumeRecord& record = m_chosen.record;
  if (record.kind == kVolumeKindDynamic || record.ExtentCount() != 1) {
    RefuseMultiExtent();
    return 0;
  }
  if (!wipecheck::FreeSpaceWipeSupports(record.fileSystem)) {
    ShowRefusal(420, 200,
                tr("The free space of this partition can't be wiped: \nits file system (%1) is not supported.")
                    .arg(FileSystemName(int(record.fileSystem))));
    return 0;
  }
  if (!PrepareTarget()) return 0;
  return ConfirmAndRun(ERASE_MODE_FREESPACE,
                       tr("Wipe the free disk space of selected partition/device \nto permanently erase deleted/lost "
                          "data and traces. \nDo you want to continue?"));
}
