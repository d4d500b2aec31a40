// The erasure history as a tree: one top-level row per run (newest first)
// with its items beneath, each with its method and "Erased" or "Failed".
// A run row carries an export button (XHTML page) and a delete button;
// "Empty List" deletes every run. The history is read on a loader thread
// that reports MSG_HISTORY_LOADED over the bus.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "CBaseDialog.h"
#include "EraseItem.h"

class CBPQtLabel;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

class CHistoryLogDlg : public CBaseDialog {
  Q_OBJECT
 public:
  explicit CHistoryLogDlg(QWidget* parent = nullptr);
  ~CHistoryLogDlg() override;  // waits for the loader

  // Builds the body and starts the loader.
  void InitUI();

  void SetDataBasePath(const std::string& path) { m_dbPath = path; }
  const std::string& DataBasePath() const { return m_dbPath; }
  QTreeWidget* Tree() const { return m_tree; }
  QPushButton* EmptyButton() const { return m_empty; }
  CBPQtLabel* LoadingLabel() const { return m_loading; }
  int RunCount() const { return m_runCount; }
  bool IsLoaded() const { return m_filled; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void EmptyClicked();
  void ExportClicked();
  void DelClicked();

 private:
  void CreateTree();
  void LoadLogs();
  void FillTree();
  QWidget* CreateRowButtons(int index, const QString& time);

  std::string m_dbPath;
  std::map<std::string, std::vector<EraseItem>> m_runs;
  int m_runCount = 0;
  std::thread m_loader;
  std::atomic<bool> m_loaded{false};
  bool m_filled = false;
  QVBoxLayout* m_layout = nullptr;
  CBPQtLabel* m_loading = nullptr;
  QTreeWidget* m_tree = nullptr;
  QPushButton* m_empty = nullptr;
};

// Opens the history dialog modally over parent (the main window when null)
// and returns when it has gone.
void OpenHistoryDialog(QWidget* parent = nullptr);
