// Page 0 of the page area: the user gathers files and folders (own buttons,
// the title bar's add menu, drops on the main window), checks them and
// erases the checked ones with "Erase Now". Afterwards only the unchecked
// rows stay listed. The header check box follows the rows over the bus.
//
// Safety: "/" and every mount point are refused wherever an item comes from,
// and a symbolic link is always listed as a file (the link), never as the
// folder it points to.
#pragma once

#include <QStackedLayout>
#include <QStringList>
#include <QVBoxLayout>

#include <functional>
#include <vector>

#include "CBPMsgReceiver.h"
#include "CRightContentBase.h"
#include "EraseItem.h"

class ClickableLabel;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CSelectFileFolderPage : public QVBoxLayout, public CRightContentBase, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CSelectFileFolderPage(int pageId = 0);
  ~CSelectFileFolderPage() override;

  void Activate(int, int) override {}
  int ReceiveMsg(__MsgData msg) override;

  void InitUI();
  // Adds one row; no duplicate test (see AddPath).
  void AddItem(const QString& path, int isFolder, int checked);
  int IsListed(const QString& path, int isFolder) const;
  void NotifyCheckState();
  void CheckAll(int state);
  void ClearAll();
  void AddDroppedFiles();
  void AddDroppedFolders();

  // How a path may be listed: refused ("/" or a mount point), as a file (a
  // symbolic link counts as a file whatever it points to), as a folder, or
  // not at all (it does not exist).
  enum class PathKind { Refused, File, Folder, Missing };
  static PathKind KindOf(const QString& path);

  QTreeWidget* Tree() const { return m_tree; }
  QStackedLayout* Views() const { return m_views; }
  QPushButton* EraseButton() const { return m_erase; }
  ClickableLabel* EmptyLink() const { return m_emptyLink; }
  QPushButton* WelcomeAddFiles() const { return m_welcomeAddFiles; }
  QPushButton* WelcomeAddFolders() const { return m_welcomeAddFolders; }
  QPushButton* ListAddFiles() const { return m_listAddFiles; }
  QPushButton* ListAddFolders() const { return m_listAddFolders; }
  int CheckedCount() const { return m_checkedCount; }
  const std::vector<EraseItem>& Files() const { return m_files; }
  const std::vector<EraseItem>& Folders() const { return m_folders; }

 public Q_SLOTS:
  void EmptyClicked();
  void BeginSelectFile();
  void BeginSelectFolder();
  void EraseClicked();
  void CheckboxChanged();
  void sectionClickedSlot(int section);

 private:
  QWidget* CreateWelcomeView();
  QWidget* CreateListView();
  void CreateTree();
  void CollectCheckedItems();
  void RestoreItems();
  void RefillFromRows();
  // Adds path (as the kind KindOf finds) unless it is listed already.
  // Returns false when it was refused.
  bool AddPath(const QString& path);
  void AddDropped(bool folders);
  QWidget* DialogParent() const;
  void ShowNotice(const QString& text);

  QStackedLayout* m_views = nullptr;
  QPushButton* m_welcomeAddFiles = nullptr;
  QPushButton* m_welcomeAddFolders = nullptr;
  QPushButton* m_listAddFiles = nullptr;
  QPushButton* m_listAddFolders = nullptr;
  ClickableLabel* m_emptyLink = nullptr;
  QPushButton* m_erase = nullptr;
  QTreeWidget* m_tree = nullptr;
  Qt::SortOrder m_sizeOrder = Qt::AscendingOrder;
  QStringList m_lastFiles;
  QStringList m_lastFolders;
  int32_t m_checkedCount = 0;
  std::vector<EraseItem> m_files;
  std::vector<EraseItem> m_folders;
  std::vector<EraseItem> m_keptFiles;
  std::vector<EraseItem> m_keptFolders;
};

// The files and folders dropped last on the main window; the page asks when
// MSG_FILES_DROPPED arrives. The main window installs it.
using DroppedPathsProvider = std::function<void(QStringList* files, QStringList* folders)>;
void SetDroppedPathsProvider(DroppedPathsProvider provider);

// The page inside a widget of its own, for the page area.
// CRightContentBase* of it: dynamic_cast of the widget's layout().
QWidget* CreateSelectFileFolderPage(QWidget* parent = nullptr);
