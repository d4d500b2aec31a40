// The internet-traces page (page 3 of the page area): a category tree (one
// row per program the traces plug-in knows and finds) beside one item tree
// per category (one row per kind of trace, with the check box that decides
// whether Clean removes it), the closing sentence of a run, a progress bar
// and one button that analyses, then cleans, then analyses again.
//
// The page is a layout: CreateInternetGrabagePage puts it into a widget of
// its own for the page area.
#pragma once

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QVBoxLayout>
#include <QVector>

#include "CBPMsgReceiver.h"
#include "CRightContentBase.h"
#include "ITraceSweep.h"

class CProgressWidget;
class CRoundBtn;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class CInternetGrabagePage : public QVBoxLayout,
                             public CRightContentBase,
                             public CBPMsgReceiver,
                             public ITraceSweepSink {
  Q_OBJECT
 public:
  // Takes the plug-in from the UI service.
  explicit CInternetGrabagePage(int pageId);
  // With a plug-in of the caller's choice (null: none).
  CInternetGrabagePage(int pageId, ITraceSweep* plugin);
  ~CInternetGrabagePage() override;

  void Activate(int, int) override {}
  int ReceiveMsg(__MsgData) override { return 0; }

  // Fills the category and item trees from the plug-in's item tree (again:
  // the old rows go). Every enabled category gets a row and a tab.
  void LoadGarbageTree();

  // ITraceSweepSink
  bool OnProgress(int percent, uint32_t reserved) override;
  bool OnGarbageFound(std::string name, uint64_t size, ITraceSweepItem* item) override;
  bool OnTerminateProcess(std::string name, const uint32_t* processIds, uint32_t reserved) override;
  bool OnGarbageCleaned(std::string name, uint64_t size, ITraceSweepItem* item) override;

  // What tests and the page area look at.
  ITraceSweep* Plugin() const { return m_plugin; }
  QTreeWidget* CategoryTree() const { return m_categoryTree; }
  QTabWidget* TabWidget() const { return m_tabWidget; }
  QTreeWidget* ItemTree(int index) const;
  QLabel* ResultLabel() const { return m_resultLabel; }
  CRoundBtn* ActionButton() const { return m_actionButton; }
  QProgressBar* ProgressBar() const { return m_progressBar; }
  // The row that shows an entry of the plug-in (null when it has none).
  QTreeWidgetItem* RowOf(ITraceSweepItem* entry) const { return m_itemRows.value(entry, nullptr); }
  // The check box of a row of the category or an item tree.
  static QCheckBox* RowCheckBox(QTreeWidgetItem* row);
  bool IsRunning() const { return m_running; }

 Q_SIGNALS:
  void updateGarbage(quint64 size, QTreeWidgetItem* row);
  void terminatePro(QString name, QVector<quint64> ids, bool& answer);

 public Q_SLOTS:
  void onUpdateGarbage(quint64 size, QTreeWidgetItem* row);
  void onTerminatePro(QString name, QVector<quint64> ids, bool& answer);
  void TreeitemClicked(QTreeWidgetItem* row, int column);
  void LeftCheckboxChanged();
  void RightCheckboxChanged();
  void OnWipe();

 private:
  void InitUI();
  QTreeWidget* CreateCategoryTree();
  QTabWidget* CreateTabWidget();
  QTreeWidget* CreateItemTree();
  // What both kinds of tree share: no frame, no focus, no header, no sorting.
  static QTreeWidget* NewTree(const QVector<int>& columnWidths);
  void AddGroupItems(ITraceSweepItem* group);
  void AddCategoryRow(const QString& name, const QString& icon);
  void AddCategoryTab(ITraceSweepItem* category);
  QTreeWidgetItem* AddItemRow(const QString& name, int checked, QTreeWidget* tree, int tabIndex);
  void ClearGarbageTree();
  void UpdateItemSize(uint64_t size, ITraceSweepItem* item);
  void ResetItemSizes();
  // Sets the category box of tab `index` from the boxes of its rows.
  void UpdateCategoryCheck(int index);
  // Hands the state of a row's box to the plug-in's entry.
  void ApplyRowCheck(QTreeWidgetItem* row);
  void ShowUnavailable();
  // Regular files at or below a path, links left out.
  static quint64 CountFiles(const QString& path);
  void SetButtonText(const QString& text);

  QTreeWidget* m_categoryTree = nullptr;
  QTabWidget* m_tabWidget = nullptr;
  QVBoxLayout* m_outerLayout = nullptr;
  QHBoxLayout* m_treeRow = nullptr;
  CProgressWidget* m_progressWidget = nullptr;
  QProgressBar* m_progressBar = nullptr;
  QLabel* m_resultLabel = nullptr;
  CRoundBtn* m_actionButton = nullptr;
  int m_categoryCounter = 0;
  int m_analysed = 0;
  int m_accepting = 1;
  ITraceSweep* m_plugin = nullptr;
  QMap<ITraceSweepItem*, QTreeWidgetItem*> m_itemRows;
  // The other way round: the plug-in's entry behind each item row.
  QHash<QTreeWidgetItem*, ITraceSweepItem*> m_rowEntries;
  quint64 m_total = 0;
  // Traces removed in the current cleaning run (reports that freed bytes).
  quint64 m_cleanedFiles = 0;
  // Files below each trace the last analysis reported, by its path.
  QHash<QString, quint64> m_foundFiles;
  bool m_running = false;
  // Guards the item rows and the found files (the sink may be called from a
  // thread of the plug-in's).
  QMutex m_lock;
};

// The page area's page 3: a widget holding a CInternetGrabagePage(3) as its
// layout. The page is reached with qobject_cast<CInternetGrabagePage*>(w->layout()).
QWidget* CreateInternetGrabagePage(QWidget* parent = nullptr);
