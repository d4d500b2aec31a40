// Pages 1 and 2 of the page area: the lettered volumes of the computer, one
// radio-button row each, and "Wipe Now", which overwrites the whole
// partition (mode 0) or its free space (mode 1) of the checked row.
//
// The list comes from the disk list service; a scan starts on the page's
// rescan messages (the page area sends one when the page is first shown,
// the main window on device changes, a page after a wipe) and is polled for
// its end once a second. Each row holds a copy of its volume's record and
// the identity (disk, start, size) it had when listed, so "Wipe Now" acts on
// the volume the user saw, whatever the service's list holds by then, and
// refuses it when the letter now leads elsewhere.
//
// No row is checked until the user checks one. The user's choice is kept by
// volume identity (disk identity and start sector) and checked again after
// every rebuild of the list; a rebuild that no longer lists that volume
// leaves every row unchecked. "Wipe Now" while the list is scanned or with
// no row checked says why nothing happens.
//
// Safety: multi-extent volumes are refused in both modes; the partition mode
// refuses volumes the running system needs ("/", /boot, /boot/efi, /usr,
// /home, active swap) and read-only ones; the free-space mode refuses file
// systems it cannot fill. The confirmation names the volume by letter,
// label, device and mount point, and only its first button confirms. Scans
// requested while a wipe runs wait until it has ended.
#pragma once

#include <QString>
#include <QVBoxLayout>
#include <cstdint>
#include <vector>

#include "CBPMsgReceiver.h"
#include "CRightContentBase.h"
#include "DriveLetters.h"
#include "VolumeRecord.h"
#include "WipePageRuns.h"

class CBPQtLabel;
class CRoundBtn;
class QButtonGroup;
class QRadioButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

class CWipePartitionPage : public QVBoxLayout, public CRightContentBase, public CBPMsgReceiver {
  Q_OBJECT
 public:
  // Row kinds (the Name column's Qt::UserRole+10).
  enum RowKind { kOtherVolume = 0, kSystemVolume = 1, kUsbVolume = 2 };
  static constexpr int kKindRole = Qt::UserRole + 10;

  CWipePartitionPage(int mode, int pageId);
  ~CWipePartitionPage() override;

  void Activate(int, int) override {}
  int ReceiveMsg(__MsgData msg) override;

  void InitUI();
  void StartScan();
  // Lists one volume (nothing for a record without a letter); the list
  // fill calls it for each record of the service.
  void AddVolume(const VolumeRecord& record);
  static QString GetVolumeLabel(const char* label);
  static QString FileSystemName(int type);
  // One row for `record`; a size of -1 shows empty (unknown).
  void AddPartitionItem(const QString& name, int kind, int64_t totalBytes, int64_t freeBytes,
                        const VolumeRecord* record);
  // The kind of the first checked row (and its position in m_checkedRow);
  // -1 when no row is checked.
  int GetCheckedRow();
  int StartWipePartition(int kind);
  int StartWipeFreeSpace();

  int Mode() const { return m_mode; }
  QTreeWidget* Tree() const { return m_tree; }
  CBPQtLabel* BusyLabel() const { return m_busy; }
  CRoundBtn* WipeButton() const { return m_wipe; }
  QRadioButton* RadioOf(int row) const;
  // Whether a scan has been asked for and the list is not filled yet.
  bool IsScanning() const { return m_scanning; }
  // Whether the scan waits for a wipe run to end.
  bool IsScanDeferred() const { return m_scanDeferred; }
  // The target of the last confirmed wipe.
  const VolumeWipeTarget& LastTarget() const { return m_target; }
  // Whether a volume is chosen (checked by the user, kept across rebuilds).
  bool HasChoice() const { return m_choice.set; }
  // Wipe runs under way in this process (scans wait for them).
  static int ActiveRuns();

 public Q_SLOTS:
  void TreeitemClicked(QTreeWidgetItem* item, int column);
  void RadioBtnChanged();
  void EraseClicked();
  void DoTimer();

 private:
  // A listed volume: the record copy and where its letter led at listing.
  struct Row {
    VolumeRecord record;
    platform::LetteredVolume volume;
    bool located = false;
  };

  // The volume the user chose, by identity.
  struct Choice {
    bool set = false;
    platform::DiskIdentity disk;
    uint64_t startSector = 0;
  };

  void CreateTree();
  void FillList();
  // Takes the checked row as the user's choice.
  void RememberCheckedRow();
  // Checks the row of the chosen volume; forgets the choice when no row
  // shows it. Returns whether the choice is still listed.
  bool RestoreChoice();
  // Why "Wipe Now" did nothing (scan under way, nothing chosen, no rights).
  void RefuseScanning();
  void RefuseNothingChosen();
  void RefuseNoRights();
  void ClearRows();
  // Refusal and notice boxes (warning icon, "OK").
  void ShowRefusal(int width, int height, const QString& text, bool wordWrap = false);
  void RefuseSystemVolume();
  void RefuseMultiExtent();
  void RefuseReadOnly();
  // The confirmation box; true when the user chose "Continue".
  bool Confirm(const QString& text);
  // Fills m_target from the chosen row; false (with the device refusal
  // shown) when the volume is gone or its letter leads elsewhere now.
  bool PrepareTarget();
  QString VolumeLine() const;
  // The read-only refusal, the confirmation, the run (which writes its
  // history row) and its result dialog; 1 when the run took place.
  int ConfirmAndRun(int eraseMode, const QString& question);
  QWidget* DialogParent() const;

  CBPQtLabel* m_description = nullptr;
  CBPQtLabel* m_busy = nullptr;
  int m_mode = 0;
  CRoundBtn* m_wipe = nullptr;
  QTreeWidget* m_tree = nullptr;
  QButtonGroup* m_radios = nullptr;
  QTimer* m_timer = nullptr;
  int m_checkedRow = -1;
  int m_notify = 0;
  bool m_scanning = false;
  bool m_scanDeferred = false;  // asked for while a wipe ran; starts when none runs
  std::vector<Row> m_rows;      // one per tree row, same order
  Row m_chosen;
  VolumeWipeTarget m_target;
  Choice m_choice;
};

// The page inside a widget of its own, for the page area: mode 0 is the
// partition page (index 1), mode 1 the free-space page (index 2).
// CRightContentBase* of it: dynamic_cast of the widget's layout().
QWidget* CreateWipePartitionPage(int mode, QWidget* parent = nullptr);
