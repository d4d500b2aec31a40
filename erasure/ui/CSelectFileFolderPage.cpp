#include "CSelectFileFolderPage.h"

#include <ftw.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include "CBPNotifyCentor.h"
#include "CBPQtLabel.h"
#include "CEraseProgressDlg.h"
#include "CEraseRstDlg.h"
#include "CHeaderView.h"
#include "CMSGDlg.h"
#include "CUIPublic.h"
#include "ClickableLabel.h"
#include "DesktopUser.h"
#include "EraseResult.h"
#include "MsgDefine.h"
#include "UiHelpers.h"
#include "VolumeRoots.h"

namespace {

constexpr int kFolderRole = Qt::UserRole + 1;

DroppedPathsProvider& Provider() {
  static DroppedPathsProvider provider;
  return provider;
}

QString ReadWhole(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString DisplayNameOf(const QString& path) {
  const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
  return name.isEmpty() ? path : name;
}

QPushButton* MakeButton(const QString& text, bool primary) {
  auto* button = new QPushButton(text);
  button->setFixedSize(96, 26);
  button->setStyleSheet(primary ? PrimaryButtonStyle() : SecondaryButtonStyle());
  return button;
}

// The erase-list entry of a tree row.
EraseItem ItemOfRow(const QTreeWidgetItem* row) {
  EraseItem item;
  item.path = QFile::encodeName(row->text(2)).toStdString();
  item.isFolder = row->data(1, kFolderRole).toBool() ? 1 : 0;
  return item;
}

QString RootRefusalText() {
  return QStringLiteral("Can't select partition root directory.");
}

thread_local quint64 t_walkBytes = 0;

int AddRegularFile(const char*, const struct stat* st, int type, struct FTW*) {
  if (type == FTW_F && S_ISREG(st->st_mode)) t_walkBytes += quint64(st->st_size);
  return 0;
}

// The bytes of the regular files in a folder and its subfolders, counted as
// the erase walks them: links are not followed, other file systems mounted
// inside are not entered.
quint64 FolderContentBytes(const QString& path) {
  t_walkBytes = 0;
  nftw(QFile::encodeName(path).constData(), AddRegularFile, 32, FTW_PHYS | FTW_MOUNT);
  return t_walkBytes;
}

}  // namespace

void SetDroppedPathsProvider(DroppedPathsProvider provider) {
  Provider() = std::move(provider);
}

QWidget* CreateSelectFileFolderPage(QWidget* parent) {
  auto* holder = new QWidget(parent);
  holder->setLayout(new CSelectFileFolderPage(0));
  return holder;
}

CSelectFileFolderPage::CSelectFileFolderPage(int pageId) : CRightContentBase(pageId) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_ADD_FILES);
  RegisterMsg(MSG_ADD_FOLDERS);
  RegisterMsg(MSG_FILES_DROPPED);
  RegisterMsg(MSG_HEADER_CHECK_TOGGLED);
  m_checkedCount = 0;
  InitUI();
}

CSelectFileFolderPage::~CSelectFileFolderPage() = default;

void CSelectFileFolderPage::InitUI() {
  m_views = new QStackedLayout;
  m_views->addWidget(CreateWelcomeView());
  m_views->addWidget(CreateListView());
  m_views->setCurrentIndex(0);
  addLayout(m_views);
}

QWidget* CSelectFileFolderPage::CreateWelcomeView() {
  auto* view = new QWidget;
  auto* layout = new QVBoxLayout(view);
  layout->setContentsMargins(50, 26, 50, 0);
  layout->setSpacing(0);
  const Qt::Alignment top = Qt::AlignTop | Qt::AlignHCenter;
  auto* title = new QLabel(tr("Welcome to Vantorel"));
  title->setStyleSheet(QStringLiteral("font-size:20px; color:#26344c; font-weight:600;"));
  layout->addWidget(title, 0, top);
  layout->addSpacing(18);
  auto* description = new QLabel(
      tr("Vantorel helps you to permanently delete sensitive and confidential data so that it cannot be retrieved "
         "again."));
  description->setStyleSheet(QStringLiteral("font-size:13px; color:#798192;"));
  description->setFixedWidth(480);
  description->setAlignment(Qt::AlignCenter);
  description->setWordWrap(true);
  FitWrappedLabelHeight(description);
  layout->addWidget(description, 0, top);
  layout->addSpacing(44);
  auto* background = new QLabel;
  background->setPixmap(QPixmap(QStringLiteral("./Resources/bg.png")));
  auto* inner = new QVBoxLayout(background);
  inner->setContentsMargins(0, 32, 0, 0);
  inner->setSpacing(0);
  auto* picture = new QLabel;
  picture->setPixmap(QPixmap(QStringLiteral("./Resources/default_pic.png")));
  inner->addWidget(picture, 0, Qt::AlignHCenter);
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(125, 0, 125, 0);
  m_welcomeAddFiles = MakeButton(QStringLiteral("Add Files"), false);
  m_welcomeAddFolders = MakeButton(QStringLiteral("Add Folders"), false);
  buttons->addWidget(m_welcomeAddFiles, 0, Qt::AlignCenter);
  buttons->addWidget(m_welcomeAddFolders, 0, Qt::AlignCenter);
  inner->addLayout(buttons);
  layout->addWidget(background, 0, top);
  layout->addStretch(1);
  connect(m_welcomeAddFiles, &QPushButton::clicked, this, &CSelectFileFolderPage::BeginSelectFile);
  connect(m_welcomeAddFolders, &QPushButton::clicked, this, &CSelectFileFolderPage::BeginSelectFolder);
  return view;
}

QWidget* CSelectFileFolderPage::CreateListView() {
  auto* view = new QWidget;
  auto* layout = new QVBoxLayout(view);
  layout->setContentsMargins(10, 10, 20, 6);
  layout->setSpacing(0);
  CreateTree();
  layout->addWidget(m_tree, 0, Qt::AlignHCenter);
  layout->addSpacing(10);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(8);
  m_listAddFiles = MakeButton(QStringLiteral("Add Files"), false);
  m_listAddFolders = MakeButton(QStringLiteral("Add Folders"), false);
  row->addWidget(m_listAddFiles, 0, Qt::AlignLeft);
  row->addWidget(m_listAddFolders, 0, Qt::AlignLeft);
  row->addStretch(1);
  m_emptyLink = new ClickableLabel(tr("Empty list"));
  SetWidgetFont(m_emptyLink, 13);
  SetWidgetTextColor(m_emptyLink, QColor(19, 157, 255));
  m_emptyLink->setCursor(Qt::PointingHandCursor);
  row->addWidget(m_emptyLink, 0, Qt::AlignRight);
  m_erase = MakeButton(tr("Erase Now"), true);
  row->addWidget(m_erase, 0, Qt::AlignRight);
  layout->addLayout(row);
  connect(m_listAddFiles, &QPushButton::clicked, this, &CSelectFileFolderPage::BeginSelectFile);
  connect(m_listAddFolders, &QPushButton::clicked, this, &CSelectFileFolderPage::BeginSelectFolder);
  connect(m_emptyLink, &ClickableLabel::clicked, this, &CSelectFileFolderPage::EmptyClicked);
  connect(m_erase, &QPushButton::clicked, this, &CSelectFileFolderPage::EraseClicked);
  return view;
}

void CSelectFileFolderPage::CreateTree() {
  m_tree = new QTreeWidget;
  m_tree->setObjectName(QStringLiteral("Special"));
  m_tree->setFrameShape(QFrame::NoFrame);
  m_tree->setFocusPolicy(Qt::NoFocus);
  m_tree->setIndentation(0);
  m_tree->setFixedWidth(550);
  m_tree->setStyleSheet(QStringLiteral("QTreeWidget#Special{border-image: url(./Resources/TreeBk.png);}"));
  auto* header = new CHeaderView(Qt::Horizontal, nullptr, true);
  m_tree->setHeader(header);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setStretchLastSection(true);
  header->setStyleSheet(
      QStringLiteral("QHeaderView::section{border-image: url(./Resources/TreeBk.png); height:25px;}"));
  m_tree->setColumnCount(5);
  m_tree->setHeaderLabels({QString(), tr("Name"), tr("Path"), tr("Size"), QStringLiteral("Size Order")});
  header->setSectionResizeMode(0, QHeaderView::Fixed);
  m_tree->setColumnHidden(4, true);
  // The path column takes what the others leave of the list's width, so that
  // the size column (as wide as its widest value) is never pushed out of view.
  const int widths[] = {30, 180, 260};
  for (int c = 0; c < 3; ++c) m_tree->setColumnWidth(c, widths[c]);
  m_tree->setColumnWidth(3, SizeColumnWidth(m_tree, {tr("Size")}));
  header->setStretchLastSection(false);
  header->setSectionResizeMode(2, QHeaderView::Stretch);
  m_tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_tree->setSortingEnabled(true);
  header->setSortIndicatorShown(false);
  m_tree->sortByColumn(0, Qt::AscendingOrder);
  connect(header, &QHeaderView::sectionClicked, this, &CSelectFileFolderPage::sectionClickedSlot);
  m_tree->verticalScrollBar()->setStyleSheet(ReadWhole(QStringLiteral("./QSS/vscrollbar.qss")));
  m_tree->horizontalScrollBar()->setStyleSheet(ReadWhole(QStringLiteral("./QSS/hscrollbar.qss")));
}

int CSelectFileFolderPage::ReceiveMsg(__MsgData msg) {
  switch (msg.id) {
    case MSG_ADD_FILES:
      BeginSelectFile();
      break;
    case MSG_ADD_FOLDERS:
      BeginSelectFolder();
      break;
    case MSG_HEADER_CHECK_TOGGLED:
      if (msg.data && msg.size >= sizeof(HeaderCheckMsgData))
        CheckAll(static_cast<const HeaderCheckMsgData*>(msg.data)->checkState);
      break;
    case MSG_FILES_DROPPED:
      m_views->setCurrentIndex(1);
      AddDroppedFiles();
      AddDroppedFolders();
      NotifyCheckState();
      break;
    default:
      break;
  }
  return 0;
}

QWidget* CSelectFileFolderPage::DialogParent() const {
  QWidget* main = CUIPublic::instance()->GetMainWindow();
  return main ? main : parentWidget();
}

void CSelectFileFolderPage::ShowNotice(const QString& text) {
  CMSGDlg box(424, 244, DialogParent());
  box.InitUI(1, text, 1, 0);
  box.exec();
}

CSelectFileFolderPage::PathKind CSelectFileFolderPage::KindOf(const QString& path) {
  const std::string local = QFile::encodeName(path).toStdString();
  if (local.empty()) return PathKind::Missing;
  struct stat st;
  if (lstat(local.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISLNK(st.st_mode)) return PathKind::File;  // the link itself, never its target
  if (platform::IsVolumeRoot(local)) return PathKind::Refused;
  return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::File;
}

bool CSelectFileFolderPage::AddPath(const QString& path) {
  const PathKind kind = KindOf(path);
  if (kind == PathKind::Refused) return false;
  if (kind == PathKind::Missing) return true;
  // What is on the disk decides the kind, not the list the path came in:
  // a link handed over as a folder is listed as the link it is.
  const int isFolder = kind == PathKind::Folder ? 1 : 0;
  if (m_tree->topLevelItemCount() != 0 && IsListed(path, isFolder)) return true;
  AddItem(path, isFolder, 1);
  EraseItem item;
  item.path = QFile::encodeName(path).toStdString();
  item.isFolder = isFolder;
  (isFolder ? m_folders : m_files).push_back(item);
  return true;
}

void CSelectFileFolderPage::BeginSelectFile() {
  QFileDialog chooser(DialogParent(), QStringLiteral("Select files"), FileDialogFolder(), QString());
  chooser.resize(240, 320);
  chooser.setFileMode(QFileDialog::ExistingFiles);
  chooser.setViewMode(QFileDialog::Detail);
  const int answer = chooser.exec();
  RememberFileDialogFolder(chooser.directory().absolutePath());
  if (answer != QDialog::Accepted) {
    chooser.close();
    return;
  }
  m_lastFiles = chooser.selectedFiles();
  if (!m_lastFiles.isEmpty()) m_views->setCurrentIndex(1);
  bool refused = false;
  for (const QString& path : m_lastFiles) refused |= !AddPath(path);
  NotifyCheckState();
  if (refused) ShowNotice(RootRefusalText());
}

void CSelectFileFolderPage::BeginSelectFolder() {
  QFileDialog chooser(DialogParent(), QStringLiteral("Select folders"), FileDialogFolder(), QString());
  chooser.resize(240, 320);
  chooser.setFileMode(QFileDialog::Directory);
  chooser.setOption(QFileDialog::ShowDirsOnly, true);
  chooser.setViewMode(QFileDialog::Detail);
  const int answer = chooser.exec();
  RememberFileDialogFolder(chooser.directory().absolutePath());
  if (answer != QDialog::Accepted) {
    chooser.close();
    return;
  }
  m_lastFolders = chooser.selectedFiles();
  m_views->setCurrentIndex(1);
  if (m_lastFolders.isEmpty()) return;
  if (!AddPath(m_lastFolders.first())) {
    ShowNotice(RootRefusalText());
    return;
  }
  NotifyCheckState();
}

void CSelectFileFolderPage::AddItem(const QString& path, int isFolder, int checked) {
  auto* item = new QTreeWidgetItem(m_tree);
  auto* box = new QCheckBox;
  box->setObjectName(QStringLiteral("treecheckbox"));
  m_tree->setItemWidget(item, 0, box);
  box->setChecked(checked != 0);
  connect(box, &QCheckBox::clicked, this, &CSelectFileFolderPage::CheckboxChanged);

  const QFileInfo info(path);
  QIcon icon = QFileIconProvider().icon(info);
  if (icon.isNull()) icon = QIcon(QStringLiteral("./Resources/icon_file.png"));
  item->setIcon(1, icon);
  item->setData(1, kFolderRole, isFolder ? 1 : 0);
  item->setText(1, DisplayNameOf(path));
  item->setText(2, path);
  // Long names and paths are elided in their columns: the whole text shows
  // as the tooltip.
  item->setToolTip(1, item->text(1));
  item->setToolTip(2, path);
  // A link is listed by its own name; its target's size is none of ours.
  const qint64 size = info.isSymLink() ? 0 : isFolder ? qint64(FolderContentBytes(path)) : info.size();
  item->setText(3, FormatSizeText(static_cast<quint64>(size)));
  item->setData(4, Qt::DisplayRole, static_cast<qlonglong>(size));
  if (checked) ++m_checkedCount;
}

int CSelectFileFolderPage::IsListed(const QString& path, int isFolder) const {
  const std::string local = QFile::encodeName(path).toStdString();
  for (const EraseItem& item : isFolder ? m_folders : m_files)
    if (item.path == local) return 1;
  return 0;
}

void CSelectFileFolderPage::AddDropped(bool folders) {
  if (!Provider() || !CUIPublic::instance()->GetMainWindow()) return;
  QStringList files;
  QStringList dirs;
  Provider()(&files, &dirs);
  bool refused = false;
  for (const QString& path : folders ? dirs : files) refused |= !AddPath(path);
  if (refused) ShowNotice(RootRefusalText());
}

void CSelectFileFolderPage::AddDroppedFiles() {
  AddDropped(false);
}

void CSelectFileFolderPage::AddDroppedFolders() {
  AddDropped(true);
}

void CSelectFileFolderPage::CheckboxChanged() {
  auto* box = qobject_cast<QCheckBox*>(sender());
  if (!box) return;
  m_checkedCount += box->isChecked() ? 1 : -1;
  NotifyCheckState();
}

void CSelectFileFolderPage::NotifyCheckState() {
  HeaderCheckMsgData data;
  if (m_checkedCount <= 0)
    data.checkState = 0;
  else if (m_checkedCount == m_tree->topLevelItemCount())
    data.checkState = 2;
  else
    data.checkState = 1;
  SendBusMsg(MSG_SET_HEADER_CHECK, data);
}

void CSelectFileFolderPage::CheckAll(int state) {
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
    if (auto* box = qobject_cast<QCheckBox*>(m_tree->itemWidget(m_tree->topLevelItem(i), 0)))
      box->setChecked(state != 0);
  m_checkedCount = state != 0 ? m_tree->topLevelItemCount() : 0;
}

void CSelectFileFolderPage::EmptyClicked() {
  m_files.clear();
  m_folders.clear();
  m_keptFiles.clear();
  m_keptFolders.clear();
  m_lastFiles.clear();
  m_lastFolders.clear();
  m_views->setCurrentIndex(0);
  m_tree->clear();
  m_checkedCount = 0;
}

void CSelectFileFolderPage::ClearAll() {
  m_tree->clear();
  m_checkedCount = 0;
  m_files.clear();
  m_folders.clear();
}

void CSelectFileFolderPage::sectionClickedSlot(int section) {
  if (section != 3) return;
  m_tree->sortItems(4, m_sizeOrder);
  m_sizeOrder = m_sizeOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
}

void CSelectFileFolderPage::CollectCheckedItems() {
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = m_tree->topLevelItem(i);
    const EraseItem item = ItemOfRow(row);
    auto* box = qobject_cast<QCheckBox*>(m_tree->itemWidget(row, 0));
    const bool checked = box && box->isChecked();
    if (checked)
      (item.isFolder ? m_folders : m_files).push_back(item);
    else
      (item.isFolder ? m_keptFolders : m_keptFiles).push_back(item);
  }
}

void CSelectFileFolderPage::RefillFromRows() {
  m_files.clear();
  m_folders.clear();
  m_keptFiles.clear();
  m_keptFolders.clear();
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    const EraseItem item = ItemOfRow(m_tree->topLevelItem(i));
    (item.isFolder ? m_folders : m_files).push_back(item);
  }
}

void CSelectFileFolderPage::RestoreItems() {
  for (const EraseItem& item : m_keptFiles) {
    AddItem(QFile::decodeName(item.path.c_str()), 0, 0);
    m_files.push_back(item);
  }
  for (const EraseItem& item : m_keptFolders) {
    AddItem(QFile::decodeName(item.path.c_str()), 1, 0);
    m_folders.push_back(item);
  }
  m_keptFiles.clear();
  m_keptFolders.clear();
}

void CSelectFileFolderPage::EraseClicked() {
  m_files.clear();
  m_folders.clear();
  m_keptFiles.clear();
  m_keptFolders.clear();
  const QString nothing = tr("Please select the file(s) or folder(s) that you want to erase.");
  if (m_checkedCount <= 0) {
    ShowNotice(nothing);
    RefillFromRows();
    return;
  }
  CollectCheckedItems();
  if (m_files.empty() && m_folders.empty()) {
    ShowNotice(nothing);
    RefillFromRows();
    return;
  }
  {
    CMSGDlg ask(424, 244, DialogParent());
    ask.InitUI(1,
               tr("Once the process gets started, the selected\nfiles/folders will be permanently erased, can't\nbe "
                  "recovered by any data recovery method. \nWant to permanently erase the selected\nfiles/folders?"),
               5, 0);
    if (ask.exec() != 0) {
      RefillFromRows();
      return;
    }
  }
  int code = ERASE_COMPLETED;
  QString failures;
  {
    CEraseProgressDlg progress(DialogParent());
    progress.SetItems(m_files, m_folders);
    progress.StartErase();
    progress.exec();
    // A run that ended reports its own outcome (failed items included); a
    // dialog that never saw the end counts as cancelled.
    code = progress.IsDone() ? progress.Result() : (progress.IsCompleted() ? ERASE_COMPLETED : ERASE_FILES_CANCELLED);
    const CEraseFilesRun& run = progress.Run();
    if (code == ERASE_FILES_ITEMS_FAILED && run.FailedCount() > 0)
      failures =
          tr("%n item(s) could not be erased and stay in the list. First reason: %1 (%2).", nullptr, run.FailedCount())
              .arg(QString::fromLocal8Bit(run.FirstFailureReason().c_str()),
                   DisplayNameOf(QFile::decodeName(run.FirstFailedPath().c_str())));
  }
  {
    CEraseRstDlg result(460, 250, ERASE_MODE_FILES, code, DialogParent());
    result.InitUI();
    if (!failures.isEmpty()) result.TextLabel()->setText(failures);
    result.exec();
  }
  HeaderCheckMsgData clear;
  SendBusMsg(MSG_SET_HEADER_CHECK, clear);
  // What the run did not remove stays listed (checked, to try again): failed
  // items and, after a cancel, those it never reached.
  std::vector<EraseItem> stayed;
  for (const std::vector<EraseItem>* chosen : {&m_files, &m_folders})
    for (const EraseItem& item : *chosen) {
      struct stat st;
      if (lstat(item.path.c_str(), &st) == 0) stayed.push_back(item);
    }
  ClearAll();
  for (const EraseItem& item : stayed) {
    AddItem(QFile::decodeName(item.path.c_str()), item.isFolder, 1);
    (item.isFolder ? m_folders : m_files).push_back(item);
  }
  RestoreItems();
  NotifyCheckState();
}
