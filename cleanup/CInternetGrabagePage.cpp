#include "CInternetGrabagePage.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "CBPNotifyCentor.h"
#include "CMSGDlg.h"
#include "CProgressWidget.h"
#include "CQTAutoLock.h"
#include "CRoundBtn.h"
#include "CUIPublic.h"
#include "NamedLibrary.h"
#include "ProgramFolder.h"
#include "RunLog.h"
#include "UiHelpers.h"

Q_DECLARE_METATYPE(QTreeWidgetItem*)

namespace {

constexpr int kSizeRole = Qt::UserRole;       // item rows, column 2: bytes found so far
constexpr int kTabRole = Qt::UserRole + 1;    // category rows, column 1: index of the tab
constexpr int kMaxProcessIds = 64;
const char kCheckIndex[] = "checkindex";      // category box: index of its tab
const char kTabIndex[] = "tabindex";          // item box: index of the tab it lies in

const QColor kButtonText(58, 70, 110);

// The closing sentences show "0 KB" rather than nothing when nothing was found.
QString SizeOrZero(quint64 bytes) {
  const QString text = FormatSizeText(bytes);
  return text.isEmpty() ? QStringLiteral("0 KB") : text;
}

bool OnOwnThread(const QObject* object) { return QThread::currentThread() == object->thread(); }

}  // namespace

CInternetGrabagePage::CInternetGrabagePage(int pageId)
    : CInternetGrabagePage(pageId, CUIPublic::instance()->GetTraceGatherer()) {}

CInternetGrabagePage::CInternetGrabagePage(int pageId, ITraceSweep* plugin)
    : QVBoxLayout(),
      CRightContentBase(pageId),
      CBPMsgReceiver(CBPNotifyCentor::instance(), 0),
      ITraceSweepSink(),
      m_plugin(plugin) {
  qRegisterMetaType<QTreeWidgetItem*>("QTreeWidgetItem*");
  SetNotifyCentor(CBPNotifyCentor::instance());
  InitUI();
  connect(this, &CInternetGrabagePage::updateGarbage, this, &CInternetGrabagePage::onUpdateGarbage,
          Qt::AutoConnection);
  connect(this, &CInternetGrabagePage::terminatePro, this, &CInternetGrabagePage::onTerminatePro,
          Qt::AutoConnection);
  if (m_plugin)
    LoadGarbageTree();
  else
    ShowUnavailable();
}

CInternetGrabagePage::~CInternetGrabagePage() = default;

void CInternetGrabagePage::InitUI() {
  setContentsMargins(20, 20, 20, 30);
  m_outerLayout = new QVBoxLayout;
  m_outerLayout->setSpacing(10);
  m_treeRow = new QHBoxLayout;
  m_outerLayout->addLayout(m_treeRow, 0);

  m_categoryTree = CreateCategoryTree();
  m_tabWidget = CreateTabWidget();
  m_treeRow->addWidget(m_categoryTree, 0, Qt::AlignLeft);
  m_treeRow->addWidget(m_tabWidget, 0, Qt::AlignLeft);

  m_resultLabel = new QLabel;
  SetWidgetFont(m_resultLabel, 15);
  SetWidgetTextColor(m_resultLabel, QColor(194, 200, 230));
  // The full width, centred text: a sentence of any length fits and wraps.
  m_resultLabel->setWordWrap(true);
  m_resultLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  m_outerLayout->addWidget(m_resultLabel, 0);

  m_progressWidget = new CProgressWidget;
  m_progressWidget->SetShowPercent(false);
  m_progressWidget->GetProgressBar()->setValue(0);
  m_outerLayout->addWidget(m_progressWidget);
  m_progressBar = m_progressWidget->GetProgressBar();

  m_actionButton = new CRoundBtn(18);
  m_actionButton->setFixedSize(120, 36);
  m_actionButton->SetColors({QColor(253, 253, 126), QColor(253, 253, 146), QColor(227, 227, 113), QColor(119, 127, 115)});
  SetButtonText(tr("Scan"));
  connect(m_actionButton, &CRoundBtn::clicked, this, &CInternetGrabagePage::OnWipe);
  m_outerLayout->addWidget(m_actionButton, 0, Qt::AlignTop | Qt::AlignHCenter);

  addLayout(m_outerLayout, 0);
}

QTreeWidget* CInternetGrabagePage::CreateCategoryTree() {
  QTreeWidget* tree = NewTree({20, 200});
  connect(tree, &QTreeWidget::itemClicked, this, &CInternetGrabagePage::TreeitemClicked);
  tree->setHeaderLabels({QString(), tr("Name")});
  tree->setFixedSize(220, 400);
  return tree;
}

QTabWidget* CInternetGrabagePage::CreateTabWidget() {
  auto* tabs = new QTabWidget;
  tabs->tabBar()->hide();
  tabs->setStyleSheet(QStringLiteral("QTabWidget::pane{border:none;}"));
  tabs->setFixedWidth(380);
  return tabs;
}

QTreeWidget* CInternetGrabagePage::CreateItemTree() {
  QTreeWidget* tree = NewTree({20, 280, 80});
  tree->setFixedWidth(380);
  // The size column as wide as its widest value; the name takes the rest.
  tree->setColumnWidth(2, SizeColumnWidth(tree, {tr("Not found")}));
  tree->header()->setStretchLastSection(false);
  tree->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  return tree;
}

QTreeWidget* CInternetGrabagePage::NewTree(const QVector<int>& columnWidths) {
  auto* tree = new QTreeWidget;
  tree->setObjectName(QStringLiteral("Special"));
  tree->setFrameShape(QFrame::NoFrame);
  tree->setFocusPolicy(Qt::NoFocus);
  tree->setIndentation(0);
  tree->setStyleSheet(QStringLiteral("QTreeWidget{background-image:url(\"./Resources/TreeBk.png\")}"));
  tree->setHeaderHidden(true);
  tree->setColumnCount(columnWidths.size());
  tree->setSortingEnabled(false);
  for (int i = 0; i < columnWidths.size(); ++i) tree->setColumnWidth(i, columnWidths[i]);
  // The columns fill the fixed width exactly.
  tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  return tree;
}

QTreeWidget* CInternetGrabagePage::ItemTree(int index) const {
  return qobject_cast<QTreeWidget*>(m_tabWidget->widget(index));
}

QCheckBox* CInternetGrabagePage::RowCheckBox(QTreeWidgetItem* row) {
  if (!row || !row->treeWidget()) return nullptr;
  return qobject_cast<QCheckBox*>(row->treeWidget()->itemWidget(row, 0));
}

// --- the trees -----------------------------------------------------------------------------

void CInternetGrabagePage::ClearGarbageTree() {
  {
    CQTAutoLock lock(&m_lock);
    m_itemRows.clear();
  }
  m_rowEntries.clear();
  m_categoryTree->clear();
  while (m_tabWidget->count() > 0) {
    QWidget* tab = m_tabWidget->widget(0);
    m_tabWidget->removeTab(0);
    delete tab;
  }
  m_categoryCounter = 0;
}

void CInternetGrabagePage::LoadGarbageTree() {
  ClearGarbageTree();
  if (!m_plugin) return;
  // Each item is released once it has been used; its address stays a valid
  // position for GetNextItem.
  for (ITraceSweepItem* group = m_plugin->GetFirstItem(); group;) {
    if (group->GetInfo()) AddGroupItems(group);
    ITraceSweepItem* next = m_plugin->GetNextItem(group);
    group->Release();
    group = next;
  }
  if (m_categoryCounter > 0) {
    m_categoryTree->setCurrentItem(m_categoryTree->topLevelItem(0));
    m_tabWidget->setCurrentIndex(0);
  }
}

void CInternetGrabagePage::AddGroupItems(ITraceSweepItem* group) {
  for (ITraceSweepItem* category = group->GetFirstItem(); category;) {
    const TraceSweepItemInfo* info = category->GetInfo();
    if (info && category->IsEnabled()) {
      AddCategoryRow(QString::fromStdString(info->name), QString::fromStdString(info->icon));
      AddCategoryTab(category);
    }
    ITraceSweepItem* next = group->GetNextItem(category);
    category->Release();
    category = next;
  }
}

void CInternetGrabagePage::AddCategoryRow(const QString& name, const QString& icon) {
  auto* row = new QTreeWidgetItem(m_categoryTree);
  auto* box = new QCheckBox;
  box->setCheckState(Qt::PartiallyChecked);
  box->setProperty(kCheckIndex, m_categoryCounter);
  connect(box, &QCheckBox::clicked, this, &CInternetGrabagePage::LeftCheckboxChanged);
  m_categoryTree->setItemWidget(row, 0, box);
  row->setText(1, name);
  row->setIcon(1, QIcon(QStringLiteral("./Resources/") + icon));
  row->setData(1, kTabRole, m_categoryCounter);
  ++m_categoryCounter;
}

void CInternetGrabagePage::AddCategoryTab(ITraceSweepItem* category) {
  const int index = m_categoryCounter - 1;
  QTreeWidget* tree = CreateItemTree();
  for (ITraceSweepItem* entry = category->GetFirstItem(); entry;) {
    if (const TraceSweepItemInfo* info = entry->GetInfo()) {
      ITraceSweepItemCheck* check = entry->QueryCheck();
      QTreeWidgetItem* row = AddItemRow(QString::fromStdString(info->name), check ? check->IsChecked() : 0, tree, index);
      if (!check) RowCheckBox(row)->setEnabled(false);
      {
        CQTAutoLock lock(&m_lock);
        m_itemRows.insert(entry, row);
      }
      m_rowEntries.insert(row, entry);
    }
    ITraceSweepItem* next = category->GetNextItem(entry);
    entry->Release();
    entry = next;
  }
  m_tabWidget->addTab(tree, QString());
  UpdateCategoryCheck(index);
}

QTreeWidgetItem* CInternetGrabagePage::AddItemRow(const QString& name, int checked, QTreeWidget* tree, int tabIndex) {
  auto* row = new QTreeWidgetItem(tree);
  auto* box = new QCheckBox;
  box->setChecked(checked != 0);
  box->setProperty(kTabIndex, tabIndex);
  connect(box, &QCheckBox::clicked, this, &CInternetGrabagePage::RightCheckboxChanged);
  tree->setItemWidget(row, 0, box);
  row->setText(1, name);
  row->setData(2, kSizeRole, QVariant::fromValue<quint64>(0));
  return row;
}

// --- check boxes ---------------------------------------------------------------------------

void CInternetGrabagePage::TreeitemClicked(QTreeWidgetItem* row, int) {
  if (!row) return;
  m_tabWidget->setCurrentIndex(row->data(1, kTabRole).toInt());
}

void CInternetGrabagePage::LeftCheckboxChanged() {
  auto* box = qobject_cast<QCheckBox*>(sender());
  if (!box) return;
  const int index = box->property(kCheckIndex).toInt();
  if (box->checkState() == Qt::PartiallyChecked) box->setCheckState(Qt::Checked);
  const bool on = box->checkState() != Qt::Unchecked;
  QTreeWidget* tree = ItemTree(index);
  if (!tree) return;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    QCheckBox* rowBox = RowCheckBox(*it);
    if (!rowBox) break;
    if (!rowBox->isEnabled()) continue;
    rowBox->setChecked(on);
    ApplyRowCheck(*it);
  }
}

void CInternetGrabagePage::RightCheckboxChanged() {
  auto* box = qobject_cast<QCheckBox*>(sender());
  if (!box) return;
  const int index = box->property(kTabIndex).toInt();
  if (QTreeWidget* tree = ItemTree(index)) {
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
      if (RowCheckBox(*it) == box) {
        ApplyRowCheck(*it);
        break;
      }
    }
  }
  UpdateCategoryCheck(index);
}

void CInternetGrabagePage::ApplyRowCheck(QTreeWidgetItem* row) {
  ITraceSweepItem* entry = m_rowEntries.value(row, nullptr);
  QCheckBox* box = RowCheckBox(row);
  if (!entry || !box) return;
  if (ITraceSweepItemCheck* check = entry->QueryCheck()) check->SetChecked(box->isChecked() ? 1 : 0);
}

void CInternetGrabagePage::UpdateCategoryCheck(int index) {
  QTreeWidget* tree = ItemTree(index);
  if (!tree) return;
  int checked = 0;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    QCheckBox* rowBox = RowCheckBox(*it);
    if (!rowBox) break;
    if (rowBox->isChecked()) ++checked;
  }
  Qt::CheckState state = Qt::PartiallyChecked;
  if (checked == tree->topLevelItemCount())
    state = Qt::Checked;
  else if (checked == 0)
    state = Qt::Unchecked;
  for (int i = 0; i < m_categoryTree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = m_categoryTree->topLevelItem(i);
    if (row->data(1, kTabRole).toInt() == index) {
      if (QCheckBox* box = RowCheckBox(row)) box->setCheckState(state);
      break;
    }
  }
}

// --- a run ---------------------------------------------------------------------------------

void CInternetGrabagePage::SetButtonText(const QString& text) { m_actionButton->SetText(text, kButtonText); }

void CInternetGrabagePage::ShowUnavailable() {
  const QString library = QString::fromStdString(platform::NamedLibrary::SharedObjectName("TraceSweep.dll"));
  const QString path = QString::fromStdString(platform::ResourceFile(library.toStdString()));
  if (QFileInfo::exists(path))
    m_resultLabel->setText(tr("The internet traces cleaner could not be started: its settings files "
                              "(Config.xml, ResIDText.xml) are missing or damaged."));
  else
    m_resultLabel->setText(tr("The internet traces cleaner is not installed: %1 was not found.").arg(path));
  m_actionButton->setEnabled(false);
  m_categoryTree->setEnabled(false);
  m_tabWidget->setEnabled(false);
}

void CInternetGrabagePage::OnWipe() {
  // The run is synchronous, but a terminate request runs a modal box and
  // progress reports let the window repaint: no second run may start meanwhile.
  if (m_running || !m_plugin) return;
  m_running = true;
  m_actionButton->setEnabled(false);
  m_categoryTree->setEnabled(false);
  m_tabWidget->setEnabled(false);
  m_accepting = 1;
  m_total = 0;

  if (m_analysed == 0) {
    // The tree again, so that programs installed since the last run show.
    LoadGarbageTree();
    {
      CQTAutoLock lock(&m_lock);
      m_foundFiles.clear();
    }
    m_resultLabel->clear();
    m_progressBar->setValue(0);
    m_plugin->Scan(this);
    if (m_accepting) {
      m_progressBar->setValue(0);
      m_analysed = 1;
      SetButtonText(tr("Clean Up"));
      m_resultLabel->setText(tr("Analysis completed. Found %1").arg(SizeOrZero(m_total)));
    }
  } else {
    m_cleanedFiles = 0;
    m_resultLabel->clear();
    m_progressBar->setValue(0);
    m_plugin->Clean(this);
    m_progressBar->setValue(0);
    m_resultLabel->setText(tr("Cleaning completed. %1 files have been cleaned successfully.").arg(m_cleanedFiles));
    SetButtonText(tr("Re-Analyze"));
    m_analysed = 0;
    ResetItemSizes();
  }
  m_total = 0;
  m_running = false;
  m_actionButton->setEnabled(true);
  m_categoryTree->setEnabled(true);
  m_tabWidget->setEnabled(true);
}

void CInternetGrabagePage::ResetItemSizes() {
  for (int i = 0; i < m_tabWidget->count(); ++i) {
    QTreeWidget* tree = ItemTree(i);
    if (!tree) continue;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
      (*it)->setText(2, QString());
      (*it)->setData(2, kSizeRole, QVariant::fromValue<quint64>(0));
    }
  }
}

// --- reports from the plug-in --------------------------------------------------------------

bool CInternetGrabagePage::OnProgress(int percent, uint32_t) {
  // After a refusal an analysis is void; a cleaning goes on with the other programs.
  if (!m_accepting && m_analysed == 0) return true;
  const int value = qBound(0, percent, 100);
  if (OnOwnThread(this)) {
    m_progressBar->setValue(value);
    // The run holds the GUI thread: let the bar and the rows repaint.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } else {
    QMetaObject::invokeMethod(m_progressBar, "setValue", Qt::QueuedConnection, Q_ARG(int, value));
  }
  return true;
}

bool CInternetGrabagePage::OnGarbageFound(std::string name, uint64_t size, ITraceSweepItem* item) {
  if (!m_accepting) return true;
  if (size > 0) {
    const QString path = QString::fromStdString(name);
    const quint64 files = CountFiles(path);
    CQTAutoLock lock(&m_lock);
    m_foundFiles.insert(path, files);
  }
  UpdateItemSize(size, item);
  return true;
}

bool CInternetGrabagePage::OnGarbageCleaned(std::string name, uint64_t size, ITraceSweepItem* item) {
  // Counted even after the user kept one program running: the plug-in skips
  // that program alone, and what it removed elsewhere is gone.
  if (size > 0) {
    CQTAutoLock lock(&m_lock);
    // A trace the analysis saw counts with the files it held then; a
    // database cleaned in place, or a trace new since, counts as one.
    if (m_itemRows.contains(item)) m_cleanedFiles += qMax<quint64>(1, m_foundFiles.value(QString::fromStdString(name), 1));
  }
  UpdateItemSize(size, item);
  return true;
}

quint64 CInternetGrabagePage::CountFiles(const QString& path) {
  const QFileInfo info(path);
  if (info.isSymLink() || !info.exists()) return 0;
  if (!info.isDir()) return 1;
  // Links are neither counted nor entered (the plug-in does not follow them either).
  quint64 files = 0;
  QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    ++files;
  }
  return files;
}

void CInternetGrabagePage::UpdateItemSize(uint64_t size, ITraceSweepItem* item) {
  if (!OnOwnThread(this)) {
    // The row is looked up when the GUI thread gets to it, so that a tree
    // rebuilt in between is never handed a row it no longer holds.
    QMetaObject::invokeMethod(this, [this, size, item] { UpdateItemSize(size, item); }, Qt::QueuedConnection);
    return;
  }
  QTreeWidgetItem* row = nullptr;
  {
    CQTAutoLock lock(&m_lock);
    row = m_itemRows.value(item, nullptr);
  }
  Q_EMIT updateGarbage(size, row);
}

void CInternetGrabagePage::onUpdateGarbage(quint64 size, QTreeWidgetItem* row) {
  if (!row) return;
  const QVariant stored = row->data(2, kSizeRole);
  if (!stored.isValid()) return;
  m_total += size;
  if (m_analysed) {
    row->setText(2, QString());
    return;
  }
  const quint64 bytes = stored.toULongLong() + size;
  row->setData(2, kSizeRole, QVariant::fromValue<quint64>(bytes));
  const QString text = FormatSizeText(bytes);
  row->setText(2, text.isEmpty() ? tr("Not found") : text);
}

bool CInternetGrabagePage::OnTerminateProcess(std::string name, const uint32_t* processIds, uint32_t) {
  QVector<quint64> ids;
  for (int i = 0; processIds && i < kMaxProcessIds && processIds[i] != 0; ++i) ids.push_back(processIds[i]);
  bool answer = false;
  const QString program = QString::fromStdString(name);
  if (OnOwnThread(this)) {
    Q_EMIT terminatePro(program, ids, answer);
  } else {
    // The question needs the GUI thread, which is inside Scan or Clean and
    // may be waiting for this very thread: waiting for it could hang the
    // program. Nothing is closed, and the program's traces stay.
    LogError("Traces: %s asked to be closed from another thread; refused", name.c_str());
  }
  if (!answer) m_accepting = 0;
  return answer;
}

void CInternetGrabagePage::onTerminatePro(QString name, QVector<quint64> ids, bool& answer) {
  answer = false;
  QString text;
  if (!name.isEmpty()) text = tr("%1 is running.").arg(name) + QLatin1Char('\n');
  text += tr("Please close your internet browsers to start clean. \nAre you sure you want to close internet browsers?");
  CMSGDlg box(450, 210);
  box.InitUI(2, text, 3, 0);
  // On Yes the plug-in ends the listed processes itself (it knows which are
  // still the program's own) before it touches the program's data.
  if (box.exec() == 0) answer = !ids.isEmpty();
  LogInfo("Traces: %s %s", name.toUtf8().constData(), answer ? "may be closed" : "keeps running");
}

QWidget* CreateInternetGrabagePage(QWidget* parent) {
  auto* widget = new QWidget(parent);
  widget->setLayout(new CInternetGrabagePage(3));
  return widget;
}
