// The uninstall wizard: a modal dialog over the programs chosen in the
// program list. It asks for confirmation, removes the programs one after the
// other with CUninstallRun on a worker thread (a second's pause between two
// programs), marks each row by its outcome, then offers the deep scan for
// leftovers.
//
// The worker gets a copy of its program's record and a result slot it
// shares with the dialog, never the dialog's own members; it sends
// MSG_STANDARD_UNINSTALL_DONE after every run, whatever happened. While a
// removal runs, Cancel, Escape and the title bar's close button do nothing
// (a removal is never cut off halfway); between programs they end the
// wizard. Once a removal has started, ending the wizard sends
// MSG_UNINSTALL_FINISHED so that the program list reloads.
#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "CBaseDialog.h"
#include "CUninstallRun.h"
#include "InstalledApp.h"

class CBPQtLabel;
class PopupWindowButton;
class QLabel;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

class CReadyUninstallDlg : public CBaseDialog {
  Q_OBJECT
 public:
  explicit CReadyUninstallDlg(QWidget* parent = nullptr);
  ~CReadyUninstallDlg() override;  // waits for a removal still running

  // storeFlag: not 0 when the list holds store apps.
  void SetPrograms(const std::vector<InstalledApp>& list, int storeFlag);
  // Builds the confirmation view and one row per program.
  void InitUI();

  // 0 standard uninstall, 1 deep scan.
  int Stage() const { return m_stage; }
  bool IsRemoving() const { return m_removing; }
  // Each program run so far with its outcome, in list order.
  const std::vector<std::pair<InstalledApp, UninstallOutcome>>& Results() const { return m_results; }

  QTreeWidget* ProgramTree() const { return m_tree; }
  CBPQtLabel* TitleLine() const { return m_titleLine; }
  CBPQtLabel* DetailLine() const { return m_detailLine; }
  PopupWindowButton* OkButton() const { return m_ok; }
  PopupWindowButton* CancelButton() const { return m_cancel; }
  // The pause between two programs.
  QTimer* PauseTimer() const { return m_pause; }
  // Row `row`'s completion mark, and the line that says why its program
  // was not removed.
  QLabel* CompletionMark(int row) const;
  QLabel* ReasonLine(int row) const;

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void OnOKClicked();
  void OnCancelClicked();
  void OnTreeCleanClicked();
  void reject() override;

 private:
  // What the worker and the dialog share: the outcome, written by the
  // worker before its message.
  struct ResultSlot {
    UninstallOutcome outcome;
    std::atomic<bool> done{false};
  };

  void StartUninstall();
  void StartDeepScan();
  static void RunUninstaller(InstalledApp record, std::shared_ptr<ResultSlot> slot);
  void TakeResult();
  void SetRemoving(bool removing);
  void JoinWorker();

  void ShowUninstallProgress();
  void SetRowState(bool hideClean);
  void ShowDeepScanPage();
  void AddProgramRows();
  QWidget* CreateProgramCell(const InstalledApp& app);
  QWidget* CreateStatusCell();
  QTreeWidgetItem* Row(int index) const;
  QWidget* StatusChild(int row, int child) const;

  QTreeWidget* m_tree = nullptr;
  CBPQtLabel* m_titleLine = nullptr;
  CBPQtLabel* m_detailLine = nullptr;
  PopupWindowButton* m_ok = nullptr;
  PopupWindowButton* m_cancel = nullptr;
  QTimer* m_pause = nullptr;
  int m_index = 0;
  int m_stage = 0;
  int m_started = 0;
  int m_storeFlag = 0;
  bool m_removing = false;
  std::vector<InstalledApp> m_programs;
  std::vector<std::pair<InstalledApp, UninstallOutcome>> m_results;
  std::shared_ptr<ResultSlot> m_slot;
  std::thread m_worker;
};
