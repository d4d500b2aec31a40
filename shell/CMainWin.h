// The program's main window: the frame with its title bar, the navigation
// column beside the page area, dropped files and folders, device changes
// turned into rescans of the disk pages, F1 for help.
#pragma once

#include <QRect>
#include <QSize>
#include <QStringList>

#include "CWinFrm.h"

class CLeftContent;
class CRightContent;
class QHBoxLayout;
class QLayout;
class QTimer;

namespace platform {
class DeviceWatcher;
}

class CMainWin : public CWinFrm {
  Q_OBJECT
 public:
  // watchDevices: listen to the kernel's disk arrivals and removals (tests
  // that drive OnDeviceChange themselves switch it off).
  explicit CMainWin(QWidget* parent = nullptr, bool watchDevices = true);
  ~CMainWin() override;

  // The size the window takes where the screen has room for it.
  QSize PreferredSize() const { return m_preferredSize; }
  // Gives the window its preferred size where it fits into `available` (the
  // screen's available area; by default that of the screen it is on), else
  // shrinks it to that area, and centres it there, wholly on screen.
  void PlaceOnScreen(const QRect& available = QRect());

  // Sends MSG_APP_STARTED.
  void NotifyStarted();
  // The files and the folders of the last drop (paths as dropped).
  QStringList GetDroppedFiles() const { return m_droppedFiles; }
  QStringList GetDroppedFolders() const { return m_droppedFolders; }

  CLeftContent* Navigation() const { return m_navigation; }
  CRightContent* PageArea() const { return m_pageArea; }
  // The page made for index `id` (the layout its factory returned), null
  // before the page was first shown.
  QLayout* Page(int id) const;
  // Whether a device change waits for the running disk listing to end.
  bool IsRescanPending() const { return m_rescanPending; }

  // Takes in the files and folders of a drop: a volume root ("/" or a mount
  // point) is refused with a message box, a symbolic link is taken as a
  // file (the link, never its target), anything that is neither a regular
  // file, a link nor a folder is skipped. Sends MSG_FILES_DROPPED unless the
  // list is empty.
  void TakeDroppedPaths(const QStringList& paths);

  // A disk arrived (true) or went away (false). Sends the rescan message of
  // the disk page on show (MSG_FREESPACE_RESCAN_AND_NOTIFY on page 2, else
  // MSG_PARTITION_RESCAN_AND_NOTIFY). While a disk listing runs, the rescan
  // waits for its end, so the lists never miss the change.
  void OnDeviceChange(int arrived);
  // After a block device came or went: reads the disk table again and calls
  // OnDeviceChange only when the table differs from the one seen last
  // (disks, their numbers, identities and sizes). Devices outside the table
  // change nothing.
  void CheckDiskTable();
  // Writes "norvantashell.xml" in the program folder.
  void WriteShellXml();
  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  // A later start asked for the window: restore, raise, activate and flash it.
  void BringToFront();

 Q_SIGNALS:
  // CheckDiskTable has run; `changed` tells whether the lists are rebuilt.
  void diskTableChecked(bool changed);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void SendPendingRescan();

  QSize m_preferredSize;
  QHBoxLayout* m_bodyRow = nullptr;
  CLeftContent* m_navigation = nullptr;
  CRightContent* m_pageArea = nullptr;
  platform::DeviceWatcher* m_watcher = nullptr;
  QTimer* m_pendingPoll = nullptr;
  bool m_rescanPending = false;
  QStringList m_knownDisks;  // the disk table as last seen, one line a disk
  QStringList m_droppedFiles;
  QStringList m_droppedFolders;
};
