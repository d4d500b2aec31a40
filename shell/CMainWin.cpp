#include "CMainWin.h"

#include <sys/stat.h>

#include <QApplication>
#include <QDomDocument>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextStream>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "CLeftContent.h"
#include "CRightContent.h"
#include "CRightTab.h"
#include "CUIPublic.h"
#include "DeviceWatcher.h"
#include "DiskListSeam.h"
#include "DiskTable.h"
#include "MsgDefine.h"
#include "PageFactories.h"
#include "ProgramFolder.h"
#include "RunLog.h"
#include "StartUp.h"
#include "UiConfig.h"
#include "VolumeRoots.h"
#include "WindowPlacement.h"

namespace {

// How long a removal waits before the rescan, so the kernel has dropped the
// disk's partitions too.
constexpr int kRemovalDelayMs = 1500;
// How often a pending rescan asks whether the listing has ended (in case the
// service's end report is missed).
constexpr int kPendingPollMs = 500;

// The disk table in short, one line a disk: what a rebuild of the lists
// depends on.
QStringList DiskTableKey(const std::vector<platform::DiskEntry>& disks) {
  QStringList key;
  for (const platform::DiskEntry& d : disks)
    key << QStringLiteral("%1 %2 %3 %4")
               .arg(d.number)
               .arg(QString::fromStdString(d.path), QString::fromStdString(d.identity.ToString()))
               .arg(d.sectorCount);
  return key;
}

}  // namespace

CMainWin::CMainWin(QWidget* parent, bool watchDevices) : CWinFrm(parent) {
  setObjectName(QStringLiteral("MainWindow"));
  RegisterMsg(MSG_EXIT_APP);
  WriteShellXml();
  setWindowIcon(QIcon(QStringLiteral("./Resources/Logo.ico")));

  // The configured size is the page area's; the window adds the navigation
  // column beside it and the title bar above it.
  const QSize pageSize = GetMainWinSize();
  QVariant tree;
  int navWidth = 249;
  if (GetConfigValue(QStringLiteral("Main"), QStringLiteral("TreeMinSize"), &tree)) {
    bool ok = false;
    const int w = tree.toInt(&ok);
    if (ok && w >= 200 && w <= 600) navWidth = w;
  }

  m_bodyRow = new QHBoxLayout;
  m_bodyRow->setContentsMargins(0, 0, 0, 0);
  m_bodyRow->setSpacing(0);
  m_body->addLayout(m_bodyRow);
  m_navigation = new CLeftContent;
  m_navigation->setFixedWidth(navWidth);
  m_bodyRow->addWidget(m_navigation, 0);
  m_pageArea = new CRightContent;
  m_bodyRow->addWidget(m_pageArea, 1);
  m_preferredSize = QSize(pageSize.width() + navWidth + 1, pageSize.height());
  setFixedSize(m_preferredSize);
  setAcceptDrops(true);

  m_pendingPoll = new QTimer(this);
  m_pendingPoll->setInterval(kPendingPollMs);
  connect(m_pendingPoll, &QTimer::timeout, this, &CMainWin::SendPendingRescan);
  connect(DiskListSeam::instance(), &DiskListSeam::listingEnded, this, &CMainWin::SendPendingRescan);

  if (!watchDevices) return;
  m_knownDisks = DiskTableKey(platform::ListDisks());
  m_watcher = new platform::DeviceWatcher(this);
  // Every block device of the machine comes and goes here (other programs'
  // loop devices too): only a change of our own disk table rebuilds the lists.
  connect(m_watcher, &platform::DeviceWatcher::diskArrived, this, [this](const QString& name) {
    DebugTrace("Block device arrived: %s", qPrintable(name));
    CheckDiskTable();
  });
  connect(m_watcher, &platform::DeviceWatcher::diskRemoved, this, [this](const QString& name) {
    DebugTrace("Block device removed: %s", qPrintable(name));
    QTimer::singleShot(kRemovalDelayMs, this, &CMainWin::CheckDiskTable);
  });
  if (!m_watcher->Start()) LogError("Device changes cannot be watched");
}

CMainWin::~CMainWin() = default;

void CMainWin::PlaceOnScreen(const QRect& available) {
  const QRect area = available.isEmpty() ? AvailableScreenArea(this) : available;
  const QRect placed = FitIntoScreen(m_preferredSize, area);
  setFixedSize(placed.size());
  move(placed.topLeft());
}

QLayout* CMainWin::Page(int id) const {
  QWidget* host = m_pageArea->Tab()->PageHost(id);
  return host ? host->layout() : nullptr;
}

void CMainWin::NotifyStarted() { SendBusMsg(MSG_APP_STARTED); }

void CMainWin::BringToFront() {
  LogInfo("A later start asked for the main window");
  if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  QApplication::alert(this);
}

int CMainWin::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_EXIT_APP) {
    // Close the window a second later: the event loop ends and main shuts
    // down in order.
    QTimer::singleShot(1000, this, &QWidget::close);
  }
  return 0;
}

bool CMainWin::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate && isHidden()) show();
  return CWinFrm::event(e);
}

void CMainWin::closeEvent(QCloseEvent* e) {
  AnnounceAppClosing();
  CWinFrm::closeEvent(e);
}

void CMainWin::keyReleaseEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F1) CUIPublic::instance()->OpenHelp();
  CWinFrm::keyReleaseEvent(e);
}

void CMainWin::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
    e->acceptProposedAction();
  else
    e->ignore();
}

void CMainWin::dropEvent(QDropEvent* e) {
  QStringList paths;
  for (const QUrl& url : e->mimeData()->urls()) paths << url.toLocalFile();
  TakeDroppedPaths(paths);
}

void CMainWin::TakeDroppedPaths(const QStringList& paths) {
  m_droppedFiles.clear();
  m_droppedFolders.clear();
  if (paths.isEmpty()) return;
  const std::set<std::string> mounts = platform::MountPoints();
  for (const QString& path : paths) {
    if (path.isEmpty()) continue;  // not a local file
    const std::string local = path.toStdString();
    if (platform::IsVolumeRoot(local, mounts)) {
      ShowMessageBox(1, tr("Can't select partition root directory."));
      continue;
    }
    struct stat st;
    if (lstat(local.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      m_droppedFolders << path;
    } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
      m_droppedFiles << path;
    } else {
      LogInfo("Dropped item skipped (neither file nor folder): %s", local.c_str());
    }
  }
  SendBusMsg(MSG_FILES_DROPPED);
}

void CMainWin::CheckDiskTable() {
  const QStringList now = DiskTableKey(platform::RefreshDiskTable());
  const bool changed = now != m_knownDisks;
  if (changed) {
    m_knownDisks = now;
    LogInfo("Disk table changed (%d disks): the disk pages list their volumes again", int(now.size()));
    OnDeviceChange(1);
  }
  Q_EMIT diskTableChecked(changed);
}

void CMainWin::OnDeviceChange(int) {
  m_rescanPending = true;
  SendPendingRescan();
}

void CMainWin::SendPendingRescan() {
  if (!m_rescanPending) {
    m_pendingPoll->stop();
    return;
  }
  if (DiskListSeam::instance()->IsListingRunning()) {
    // The running listing may have read the disks before the change: rescan
    // once it has ended.
    if (!m_pendingPoll->isActive()) m_pendingPoll->start();
    return;
  }
  m_rescanPending = false;
  m_pendingPoll->stop();
  SendBusMsg(CUIPublic::instance()->GetCurrentPage() == kFreeSpacePage ? MSG_FREESPACE_RESCAN_AND_NOTIFY
                                                                       : MSG_PARTITION_RESCAN_AND_NOTIFY);
}

void CMainWin::WriteShellXml() {
  QFile file(QString::fromStdString(platform::ProgramFile("norvantashell.xml")));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return;
  QDomDocument doc;
  doc.appendChild(
      doc.createProcessingInstruction(QStringLiteral("xml"), QStringLiteral("version = '1.0' encoding='UTF-8'")));
  QDomElement root = doc.createElement(QStringLiteral("root"));
  doc.appendChild(root);
  QDomElement path = doc.createElement(QStringLiteral("Path"));
  path.setAttribute(QStringLiteral("name"), QString::fromStdString(platform::ProgramFile("vantorel")));
  root.appendChild(path);
  QTextStream out(&file);
  out.setCodec("UTF-8");
  doc.save(out, 4);
}
