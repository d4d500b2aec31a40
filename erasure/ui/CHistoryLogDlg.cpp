#include "CHistoryLogDlg.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CBPQtLabel.h"
#include "CHistoryDataBase.h"
#include "CMSGDlg.h"
#include "CUIPublic.h"
#include "CWindowDlgTitle.h"
#include "DesktopUser.h"
#include "HistoryHtml.h"
#include "MsgDefine.h"
#include "UiHelpers.h"

namespace {

// Room between the list and the dialog's right edge.
constexpr int kTreeRightMargin = 15;

QString IconButtonStyle(const char* image) {
  const QString url = QStringLiteral("border-image: url(./Resources/%1);").arg(QLatin1String(image));
  return QStringLiteral("QPushButton{%1}QPushButton:hover{%1}QPushButton:pressed{%1}").arg(url);
}

}  // namespace

CHistoryLogDlg::CHistoryLogDlg(QWidget* parent) : CBaseDialog(parent), m_dbPath(CHistoryDataBase::DefaultPath()) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  RegisterMsg(MSG_HISTORY_LOADED);
  setFixedSize(560, 460);
  TitleBar()->SetTitle(QObject::tr("Erasure History"));
}

CHistoryLogDlg::~CHistoryLogDlg() {
  if (m_loader.joinable()) m_loader.join();
}

void CHistoryLogDlg::InitUI() {
  m_layout = new QVBoxLayout;
  m_layout->setContentsMargins(18, 22, kTreeRightMargin, 10);
  m_loading = new CBPQtLabel(tr("Loading logs, please wait..."));
  SetWidgetFont(m_loading, 13);
  m_layout->addWidget(m_loading, 0, Qt::AlignHCenter | Qt::AlignBottom);
  CreateTree();
  m_layout->addWidget(m_tree);
  m_empty = new QPushButton(QStringLiteral("Empty List"));
  m_empty->setFixedSize(96, 26);
  m_empty->setStyleSheet(PrimaryButtonStyle());
  connect(m_empty, &QPushButton::clicked, this, &CHistoryLogDlg::EmptyClicked);
  m_layout->addWidget(m_empty, 0, Qt::AlignHCenter | Qt::AlignBottom);
  m_content->addLayout(m_layout);
  if (!m_loader.joinable()) m_loader = std::thread([this] { LoadLogs(); });
}

void CHistoryLogDlg::CreateTree() {
  m_tree = new QTreeWidget;
  m_tree->setObjectName(QStringLiteral("Log"));
  m_tree->setFrameShape(QFrame::NoFrame);
  m_tree->setFocusPolicy(Qt::NoFocus);
  m_tree->setHeaderHidden(true);
  m_tree->setColumnCount(3);
  m_tree->setSortingEnabled(false);
  // The items column takes what the method and result columns leave, so the
  // list and its scroll bar stay inside the dialog; long paths are elided
  // with the whole path as their tooltip.
  m_tree->setColumnWidth(0, 270);
  m_tree->setColumnWidth(1, 170);
  m_tree->setColumnWidth(2, 70);
  m_tree->header()->setStretchLastSection(false);
  m_tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  m_tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_tree->setFixedSize(width() - 18 - kTreeRightMargin, 340);
  QFile qss(QStringLiteral("./QSS/logtree.qss"));
  m_tree->setStyleSheet(qss.open(QIODevice::ReadOnly) ? QString::fromUtf8(qss.readAll()) : QString());
}

void CHistoryLogDlg::LoadLogs() {
  // Runs on the loader thread: no widget is touched here.
  m_runs = CHistoryDataBase(m_dbPath).ReadAll();
  m_loaded.store(true);
  SendBusMsg(MSG_HISTORY_LOADED);
}

int CHistoryLogDlg::ReceiveMsg(__MsgData msg) {
  switch (msg.id) {
    case MSG_HISTORY_LOADED:
      // The message names no dialog: only our own loader's news fills us.
      if (!m_filled && m_loaded.load()) {
        if (m_loader.joinable()) m_loader.join();
        m_runCount = static_cast<int>(m_runs.size());
        m_filled = true;
        FillTree();
        m_loading->hide();
      }
      break;
    case MSG_TITLE_CLOSE:
      DestroyNativeWindow();
      break;
    default:
      break;
  }
  return 0;
}

void CHistoryLogDlg::FillTree() {
  if (m_runs.empty()) {
    m_tree->setColumnWidth(0, 210);
    m_tree->setColumnWidth(1, 230);
    m_tree->setColumnWidth(2, 80);
    auto* none = new QTreeWidgetItem(m_tree);
    none->setText(1, tr("No Erasure Logs"));
    m_empty->setEnabled(false);
    return;
  }
  int index = 0;
  for (auto run = m_runs.rbegin(); run != m_runs.rend(); ++run, ++index) {
    const QString time = QString::fromStdString(run->first);
    auto* top = new QTreeWidgetItem(m_tree);
    top->setText(0, time);
    m_tree->setItemWidget(top, 2, CreateRowButtons(index, time));
    for (const HistoryHtmlRow& row : HistoryRowsOf(run->second)) {
      auto* child = new QTreeWidgetItem(top);
      for (int c = 0; c < 3; ++c) child->setText(c, QString::fromStdString(row[static_cast<size_t>(c)]));
      child->setToolTip(0, child->text(0));
      if (child == top->child(0)) child->setDisabled(true);
    }
  }
  m_tree->expandItem(m_tree->topLevelItem(0));
}

QWidget* CHistoryLogDlg::CreateRowButtons(int index, const QString& time) {
  auto* pair = new QWidget;
  pair->setFixedHeight(30);
  auto* layout = new QHBoxLayout(pair);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(10);
  auto* exportButton = new QPushButton;
  exportButton->setFixedSize(16, 16);
  exportButton->setStyleSheet(IconButtonStyle("icon_export.png"));
  exportButton->setProperty("exportbtn", time);
  exportButton->setProperty("operindex", index);
  exportButton->setToolTip(tr("Export erasure history"));
  connect(exportButton, &QPushButton::clicked, this, &CHistoryLogDlg::ExportClicked);
  auto* deleteButton = new QPushButton;
  deleteButton->setFixedSize(16, 16);
  deleteButton->setStyleSheet(IconButtonStyle("icon_delete.png"));
  deleteButton->setProperty("delbtn", time);
  deleteButton->setProperty("operindex", index);
  connect(deleteButton, &QPushButton::clicked, this, &CHistoryLogDlg::DelClicked);
  layout->addWidget(exportButton);
  layout->addWidget(deleteButton);
  return pair;
}

void CHistoryLogDlg::DelClicked() {
  auto* button = qobject_cast<QPushButton*>(sender());
  if (!button) return;
  const QString time = button->property("delbtn").toString();
  const int index = button->property("operindex").toInt();
  if (CHistoryDataBase(m_dbPath).DeleteByTime(time.toStdString().c_str())) {
    if (QTreeWidgetItem* top = m_tree->topLevelItem(index)) top->setHidden(true);
    --m_runCount;
  }
  if (m_runCount <= 0) m_empty->setEnabled(false);
}

void CHistoryLogDlg::EmptyClicked() {
  if (CHistoryDataBase(m_dbPath).DeleteAll()) {
    m_tree->clear();
    m_runCount = 0;
    m_empty->setEnabled(false);
  }
}

void CHistoryLogDlg::ExportClicked() {
  auto* button = qobject_cast<QPushButton*>(sender());
  if (!button) return;
  const QString time = button->property("exportbtn").toString();
  const int index = button->property("operindex").toInt();
  QFileDialog chooser(CUIPublic::instance()->GetMainWindow(), tr("Export erasure history"),
                      FileDialogFolder() + QStringLiteral("/ErasureHistory(%1).html").arg(time),
                      tr("html files(*.html)"));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setDefaultSuffix(QStringLiteral("html"));
  const int answer = chooser.exec();
  RememberFileDialogFolder(chooser.directory().absolutePath());
  const QStringList chosen = chooser.selectedFiles();
  if (answer != QDialog::Accepted || chosen.isEmpty() || chosen.first().isEmpty()) return;
  QString path = chosen.first();
  // A name typed without the suffix still makes a page the browser opens.
  if (!path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive)) path += QStringLiteral(".html");
  std::vector<HistoryHtmlRow> rows;
  if (QTreeWidgetItem* top = m_tree->topLevelItem(index)) {
    for (int i = 0; i < top->childCount(); ++i) {
      const QTreeWidgetItem* child = top->child(i);
      rows.push_back({child->text(0).toStdString(), child->text(1).toStdString(), child->text(2).toStdString()});
    }
  }
  if (!ExportHistoryHtml(path.toStdString(), time.toStdString(), rows)) return;
  CMSGDlg box(420, 190);
  box.InitUI(0, QStringLiteral("Export Successful!\n%1").arg(QDir::toNativeSeparators(path)), 1, 0);
  box.exec();
}

void OpenHistoryDialog(QWidget* parent) {
  if (!parent) parent = CUIPublic::instance()->GetMainWindow();
  auto* dialog = new CHistoryLogDlg(parent);
  dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  dialog->InitUI();
  dialog->exec();
  // A finished dialog is not kept: a later title-close or loader message
  // must not reach it.
  dialog->deleteLater();
}
