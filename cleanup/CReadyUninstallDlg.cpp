#include "CReadyUninstallDlg.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMovie>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdint>

#include "CBPNotifyCentor.h"
#include "CBPQtLabel.h"
#include "CTitleBtn.h"
#include "CWindowDlgTitle.h"
#include "MsgDefine.h"
#include "PopupWindowButton.h"
#include "RunLog.h"
#include "UiHelpers.h"

namespace {

constexpr int kPauseMs = 1000;

// The status cell's children, in the order they are laid out.
enum StatusChild { kCompletionMark = 1, kUninstallAnimation = 2, kCleanButton = 3, kDeepCleanAnimation = 4 };

QLabel* Animation(const QString& file) {
  auto* label = new QLabel;
  auto* movie = new QMovie(file, QByteArray(), label);
  label->setMovie(movie);
  movie->start();
  return label;
}

// A program's icon at 32 x 32: a path, a theme name, else the installer image.
QPixmap ProgramIcon(const InstalledApp& app) {
  const QString location = QString::fromStdString(StripIconPath(app.iconPath.toStdString()));
  QIcon icon;
  if (QFileInfo(location).isAbsolute() && QFileInfo(location).isFile())
    icon = QIcon(location);
  else if (!location.isEmpty())
    icon = QIcon::fromTheme(location);
  if (icon.isNull()) icon = QIcon(QStringLiteral("./Resources/Installer.png"));
  return icon.pixmap(32, 32);
}

}  // namespace

CReadyUninstallDlg::CReadyUninstallDlg(QWidget* parent) : CBaseDialog(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  RegisterMsg(MSG_STANDARD_UNINSTALL_DONE);
  RegisterMsg(MSG_LEFTOVER_SCAN_DONE);
  // The program's own removal ends the program: the wizard goes first.
  RegisterMsg(MSG_EXIT_APP);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(583, 460);
  m_pause = new QTimer(this);
  m_pause->setSingleShot(true);
  m_pause->setInterval(kPauseMs);
  connect(m_pause, &QTimer::timeout, this, &CReadyUninstallDlg::StartUninstall);
}

CReadyUninstallDlg::~CReadyUninstallDlg() {
  JoinWorker();
}

void CReadyUninstallDlg::SetPrograms(const std::vector<InstalledApp>& list, int storeFlag) {
  m_programs = list;
  m_storeFlag = storeFlag;
}

void CReadyUninstallDlg::InitUI() {
  auto* box = new QVBoxLayout;
  box->setSpacing(0);
  box->setContentsMargins(16, 0, 0, 20);
  auto* keeper = new QLabel;
  keeper->setFixedWidth(572);
  box->addWidget(keeper);

  m_tree = new QTreeWidget;
  m_tree->setColumnCount(3);
  m_tree->setHeaderHidden(true);
  m_tree->setColumnHidden(0, true);
  m_tree->setColumnWidth(1, 430);
  m_tree->setFixedSize(550, 288);
  m_tree->setRootIsDecorated(false);
  m_tree->setSelectionMode(QAbstractItemView::NoSelection);
  m_tree->setFocusPolicy(Qt::NoFocus);
  box->addWidget(m_tree);
  box->addItem(new QSpacerItem(0, 20, QSizePolicy::Expanding, QSizePolicy::Fixed));

  auto* lines = new QVBoxLayout;
  lines->setSpacing(5);
  lines->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  m_titleLine = new CBPQtLabel;
  m_titleLine->setAlignment(Qt::AlignCenter);
  SetWidgetFont(m_titleLine, 14);
  SetWidgetTextColor(m_titleLine, QColor(9, 9, 9));
  m_titleLine->setText(tr("Do you want to uninstall the selected <font color='#1f1f1f'><b>%1 </b></font> programs?")
                           .arg(m_programs.size()));
  m_detailLine = new CBPQtLabel;
  m_detailLine->setAlignment(Qt::AlignCenter);
  SetWidgetFont(m_detailLine, 12);
  SetWidgetTextColor(m_detailLine, QColor(9, 9, 9));
  lines->addWidget(m_titleLine);
  lines->addWidget(m_detailLine);
  box->addLayout(lines);
  box->addItem(new QSpacerItem(0, 20, QSizePolicy::Expanding, QSizePolicy::Fixed));

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(18);
  m_ok = new PopupWindowButton(tr("Uninstall"));
  m_ok->setFixedSize(120, 36);
  connect(m_ok, &QPushButton::clicked, this, &CReadyUninstallDlg::OnOKClicked);
  m_cancel = new PopupWindowButton(tr("Cancel"));
  m_cancel->setFixedSize(120, 36);
  connect(m_cancel, &QPushButton::clicked, this, &CReadyUninstallDlg::OnCancelClicked);
  buttons->addWidget(m_ok, 0, Qt::AlignRight);
  buttons->addWidget(m_cancel, 0, Qt::AlignLeft);
  box->addLayout(buttons);
  m_content->addLayout(box);

  // Nothing to remove: nothing to start.
  m_ok->setEnabled(!m_programs.empty());
  AddProgramRows();
}

void CReadyUninstallDlg::AddProgramRows() {
  for (size_t i = 0; i < m_programs.size(); ++i) {
    auto* item = new QTreeWidgetItem(m_tree);
    item->setText(0, QStringLiteral("Norvanta"));
    item->setData(1, Qt::UserRole, static_cast<int>(i));
    m_tree->setItemWidget(item, 1, CreateProgramCell(m_programs[i]));
    m_tree->setItemWidget(item, 2, CreateStatusCell());
  }
}

QWidget* CReadyUninstallDlg::CreateProgramCell(const InstalledApp& app) {
  auto* cell = new QWidget;
  auto* row = new QHBoxLayout(cell);
  row->setAlignment(Qt::AlignLeft);
  auto* icon = new QLabel;
  icon->setFixedSize(32, 32);
  icon->setPixmap(ProgramIcon(app));
  row->addWidget(icon);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(0);
  auto* name = new CBPQtLabel(app.name);
  SetWidgetFont(name, 12);
  auto* publisher = new CBPQtLabel(app.publisher);
  SetWidgetFont(publisher, 11);
  // Why the program was not removed, once that is known.
  auto* reason = new QLabel;
  reason->setObjectName(QStringLiteral("reason"));
  SetWidgetFont(reason, 11);
  reason->setStyleSheet(QStringLiteral("color: rgb(229, 72, 77);"));
  reason->hide();
  texts->addWidget(name);
  texts->addWidget(publisher);
  texts->addWidget(reason);
  row->addLayout(texts);
  return cell;
}

QWidget* CReadyUninstallDlg::CreateStatusCell() {
  auto* cell = new QWidget;
  auto* row = new QHBoxLayout(cell);
  row->setSpacing(0);
  auto* mark = new QLabel;
  mark->setPixmap(QIcon(QStringLiteral("./Resources/icon_complete.png")).pixmap(24, 24));
  QWidget* children[] = {
      mark,
      Animation(QStringLiteral("./Resources/uninstall.gif")),
      CreateIconButton(QVector<QString>(4, QStringLiteral("./Resources/brush.png"))),
      Animation(QStringLiteral("./Resources/deep_clean.gif")),
  };
  for (QWidget* child : children) {
    row->addWidget(child, 0, Qt::AlignRight);
    child->hide();
  }
  return cell;
}

QTreeWidgetItem* CReadyUninstallDlg::Row(int index) const {
  if (!m_tree) return nullptr;
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = m_tree->topLevelItem(i);
    if (item->data(1, Qt::UserRole).toInt() == index) return item;
  }
  return nullptr;
}

QWidget* CReadyUninstallDlg::StatusChild(int row, int child) const {
  QTreeWidgetItem* item = Row(row);
  QWidget* cell = item ? m_tree->itemWidget(item, 2) : nullptr;
  if (!cell || !cell->layout() || child - 1 >= cell->layout()->count()) return nullptr;
  return cell->layout()->itemAt(child - 1)->widget();
}

QLabel* CReadyUninstallDlg::CompletionMark(int row) const {
  return qobject_cast<QLabel*>(StatusChild(row, kCompletionMark));
}

QLabel* CReadyUninstallDlg::ReasonLine(int row) const {
  QTreeWidgetItem* item = Row(row);
  QWidget* cell = item ? m_tree->itemWidget(item, 1) : nullptr;
  return cell ? cell->findChild<QLabel*>(QStringLiteral("reason")) : nullptr;
}

void CReadyUninstallDlg::OnOKClicked() {
  if (m_removing || m_programs.empty()) return;
  m_ok->setEnabled(false);
  m_started = 1;
  if (m_stage == 1)
    StartDeepScan();
  else
    StartUninstall();
}

void CReadyUninstallDlg::StartUninstall() {
  if (m_removing || m_index < 0 || m_index >= static_cast<int>(m_programs.size())) return;
  ShowUninstallProgress();
  JoinWorker();  // the one before has sent its message: it is ending
  m_slot = std::make_shared<ResultSlot>();
  SetRemoving(true);
  m_worker = std::thread(&CReadyUninstallDlg::RunUninstaller, m_programs[m_index], m_slot);
}

void CReadyUninstallDlg::StartDeepScan() {
  // The leftover scan is not there yet: the deep-scan page keeps its button
  // disabled, so nothing starts here.
}

void CReadyUninstallDlg::RunUninstaller(InstalledApp record, std::shared_ptr<ResultSlot> slot) {
  try {
    slot->outcome = CUninstallRun().Run(record);
  } catch (const std::exception& e) {
    slot->outcome = UninstallOutcome();
    slot->outcome.reason = QString::fromUtf8(e.what());
  }
  slot->done.store(true);
  // The program's own removal has asked the program to end instead.
  if (slot->outcome.status != UninstallStatus::Started) SendBusMsg(MSG_STANDARD_UNINSTALL_DONE);
}

void CReadyUninstallDlg::JoinWorker() {
  if (m_worker.joinable()) m_worker.join();
}

void CReadyUninstallDlg::SetRemoving(bool removing) {
  m_removing = removing;
  if (m_cancel) m_cancel->setEnabled(!removing);
  if (TitleBar() && TitleBar()->CloseButton()) TitleBar()->CloseButton()->setEnabled(!removing);
}

void CReadyUninstallDlg::TakeResult() {
  JoinWorker();
  const UninstallOutcome outcome = m_slot->outcome;
  m_results.emplace_back(m_programs[m_index], outcome);
  SetRemoving(false);
  SetRowState(false);
  m_index += 1;
  if (m_index < static_cast<int>(m_programs.size())) {
    m_pause->start();
  } else {
    m_stage = 1;
    ShowDeepScanPage();
    m_index = 0;
  }
}

int CReadyUninstallDlg::ReceiveMsg(__MsgData msg) {
  switch (msg.id) {
    case MSG_TITLE_CLOSE:
      reject();
      break;
    case MSG_STANDARD_UNINSTALL_DONE:
      // Only the message of the removal this wizard started.
      if (m_removing && m_slot && m_slot->done.load()) TakeResult();
      break;
    case MSG_EXIT_APP:
      // Sent by the run of the program's own entry just before it returns.
      if (m_removing && m_programs[m_index].selfFlag) {
        JoinWorker();
        SetRemoving(false);
        m_pause->stop();
        done(QDialog::Rejected);
      }
      break;
    default:
      break;
  }
  return 0;
}

void CReadyUninstallDlg::OnCancelClicked() {
  if (m_removing) return;  // never in the middle of a removal
  m_pause->stop();
  m_programs.clear();
  done(QDialog::Rejected);
  if (m_started) {
    const int32_t store = m_storeFlag != 0 ? 1 : 0;
    SendBusMsg(MSG_UNINSTALL_FINISHED, store);
  }
}

void CReadyUninstallDlg::reject() {
  OnCancelClicked();
}

void CReadyUninstallDlg::OnTreeCleanClicked() {}

void CReadyUninstallDlg::ShowUninstallProgress() {
  if (QWidget* animation = StatusChild(m_index, kUninstallAnimation)) animation->show();
  m_titleLine->setText(
      tr("Standard uninstall %1 (%2/%3)").arg(m_programs[m_index].name).arg(m_index + 1).arg(m_programs.size()));
  m_detailLine->setText(tr("Standard uninstall is using the application's built-in uninstaller."));
  SetWidgetFont(m_detailLine, 12);
  SetWidgetTextColor(m_detailLine, QColor(96, 96, 96));
}

void CReadyUninstallDlg::SetRowState(bool hideClean) {
  const UninstallOutcome& outcome = m_results.back().second;
  // Only a program that is gone gets the mark; any other says why not.
  if (QWidget* mark = StatusChild(m_index, kCompletionMark))
    mark->setVisible(outcome.status == UninstallStatus::Removed);
  if (QWidget* animation = StatusChild(m_index, kUninstallAnimation)) animation->hide();
  if (QWidget* clean = StatusChild(m_index, kCleanButton); clean && hideClean) clean->hide();
  if (QWidget* animation = StatusChild(m_index, kDeepCleanAnimation)) animation->hide();
  if (QLabel* reason = ReasonLine(m_index); reason && outcome.status != UninstallStatus::Removed) {
    const QString text =
        QStringLiteral("%1: %2").arg(QString::fromLatin1(UninstallStatusText(outcome.status)), outcome.reason);
    reason->setText(reason->fontMetrics().elidedText(text, Qt::ElideRight, 380));
    reason->setToolTip(text);
    reason->show();
    // The row grows by the line.
    QTreeWidgetItem* item = Row(m_index);
    QWidget* cell = m_tree->itemWidget(item, 1);
    cell->layout()->invalidate();
    item->setSizeHint(1, cell->layout()->sizeHint());
    m_tree->doItemsLayout();
  }
}

void CReadyUninstallDlg::ShowDeepScanPage() {
  m_titleLine->setText(tr("Deep Scan"));
  SetWidgetFont(m_titleLine, 16);
  SetWidgetTextColor(m_titleLine, QColor(91, 91, 91));
  m_detailLine->setText(tr("Click Deep Scan to find and clean up leftovers of uninstalled programs."));
  SetWidgetFont(m_detailLine, 14);
  SetWidgetTextColor(m_detailLine, QColor(84, 84, 84));
  m_ok->setText(tr("Deep Clean"));
  // Enabled once the leftover scan is there.
  m_ok->setEnabled(false);
}
