// Draws the main window on each page, each dialog and each widget of the
// shell into <out>/<name>.png.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <atomic>
#include <cstdio>

#include "AppStyle.h"
#include "CAboutDlg.h"
#include "CBPStyleMenuItem.h"
#include "CBottomWidget.h"
#include "CHeaderView.h"
#include "CLeftBtn.h"
#include "CMSGDlg.h"
#include "CProgressWidget.h"
#include "CRecommendWidget.h"
#include "CRefreshDlg.h"
#include "CRightBtn.h"
#include "CRoundBtn.h"
#include "CSearchEdit.h"
#include "CStartDlg.h"
#include "CStyleMenu.h"
#include "CTitleBtn.h"
#include "CUpdateRstDlg.h"
#include "CWinAppIconWidget.h"
#include "CWipeTitleWidget.h"
#include "CheckUpdate.h"
#include "MsgDefine.h"
#include "PopupWindowButton.h"
#include "ProgramFolder.h"
#include "ProgramParts.h"
#include "UiHelpers.h"

// ErasureShots.cpp
void EraseScreens(void (*save)(QWidget*, const QString&));
// UninstallShots.cpp
void UninstallScreens(void (*save)(QWidget*, const QString&));
// PageShots.cpp: returns how many shots failed.
int PageScreens(void (*save)(QWidget*, const QString&), const QString& out);

namespace {

QString g_out;
int g_failures = 0;

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

void Save(QWidget* w, const QString& name) {
  w->show();
  Settle();
  const QString path = g_out + QLatin1Char('/') + name + QStringLiteral(".png");
  if (!w->grab().save(path)) {
    fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
    ++g_failures;
  } else {
    printf("%s\n", qPrintable(path));
  }
  w->hide();
}

// A light page behind loose widgets, so they are seen as in the program.
QWidget* Page(const QString& color = QStringLiteral("#F4F6F9")) {
  auto* page = new QWidget;
  page->setAutoFillBackground(true);
  page->setStyleSheet(QStringLiteral("QWidget#page{background:%1;}").arg(color));
  page->setObjectName(QStringLiteral("page"));
  return page;
}

class BlockingChecker : public IUpdateChecker {
 public:
  std::atomic<bool> release{false};
  int FetchUpdateInfo(const char*, int) override {
    while (!release) QThread::msleep(5);
    return 0;
  }
  int IsCurrentVersion(uint32_t, uint32_t) override { return 1; }
};

void MessageBoxes() {
  struct Box {
    const char* name;
    int w, h, icon, set;
    const char* text;
  } boxes[] = {
      {"msgdlg_notice", 424, 244, 1, 1, "Please select the files or folders to erase first."},
      {"msgdlg_erase_confirm", 424, 244, 1, 5,
       "The selected files and folders will be erased permanently and cannot be recovered. Continue?"},
      {"msgdlg_continue", 440, 220, 1, 4, "All data on the partition will be destroyed. Do you want to continue?"},
      {"msgdlg_yes_no", 450, 210, 2, 3, "The browsers must be closed before cleaning. Close them now?"},
      {"msgdlg_export_done", 420, 190, 0, 1, "The erasure history was exported."},
  };
  for (const Box& b : boxes) {
    CMSGDlg box(b.w, b.h);
    box.InitUI(b.icon, QString::fromUtf8(b.text), b.set, 0);
    Save(&box, QString::fromLatin1(b.name));
  }
}

void Dialogs() {
  {
    CAboutDlg about;
    about.InitUI();
    Save(&about, QStringLiteral("about"));
  }
  {
    auto* checker = new BlockingChecker;
    CheckUpdate::SetCheckerSource([checker] { return checker; });
    CheckUpdate check;
    check.InitUI();
    Save(&check, QStringLiteral("check_update"));
    checker->release = true;
    CheckUpdate::SetCheckerSource(nullptr);
  }
  {
    CUpdateRstDlg result(470, 300);
    result.InitUI(QStringLiteral("A new version of Norvanta Vantorel Pro is \navailable. Would you like to update now?"),
                  false, true);
    Save(&result, QStringLiteral("update_result"));
  }
  {
    CUpdateRstDlg result(470, 240);
    result.InitUI(QStringLiteral("Failed to check for updates. \nplease check your network connection."), true, false);
    Save(&result, QStringLiteral("update_result_failed"));
  }
  {
    CStartDlg start;
    start.InitUI();
    Save(&start, QStringLiteral("start"));
  }
  {
    CRefreshDlg busy;
    busy.InitUI();
    Save(&busy, QStringLiteral("busy"));
  }
}

void Buttons() {
  QWidget* page = Page();
  auto* grid = new QVBoxLayout(page);
  // Title button in each of its four images.
  auto* titleRow = new QHBoxLayout;
  const QVector<QString> closeIcons = {QStringLiteral("./Resources/close1_normal.png"),
                                       QStringLiteral("./Resources/close1_hover.png"),
                                       QStringLiteral("./Resources/close1_press.png"),
                                       QStringLiteral("./Resources/close1_disable.png")};
  for (int state = 0; state < 4; ++state) {
    auto* label = new QLabel;
    label->setPixmap(MakeStateIcon(closeIcons).pixmap(QSize(20, 20), StateIconMode(state)));
    titleRow->addWidget(label);
  }
  titleRow->addStretch();
  grid->addLayout(titleRow);
  auto* nav = new QHBoxLayout;
  auto* left = new CLeftBtn(false, 15);
  left->setText(QStringLiteral("Erase Files"));
  left->setIcon(QIcon(QStringLiteral("./Resources/Installer.png")));
  auto* leftSelected = new CLeftBtn(false, 15);
  leftSelected->setText(QStringLiteral("Wipe Partition"));
  leftSelected->setIcon(QIcon(QStringLiteral("./Resources/Installer.png")));
  leftSelected->SetSelected(true);
  nav->addWidget(left);
  nav->addWidget(leftSelected);
  grid->addLayout(nav);
  auto* actions = new QHBoxLayout;
  auto* round = new CRoundBtn(18);
  round->setFixedSize(140, 36);
  round->SetColors({QColor(2, 125, 255), QColor(43, 147, 255), QColor(0, 102, 214), QColor(174, 187, 208)});
  round->SetText(QStringLiteral("Wipe Now"), Qt::white);
  auto* roundIcon = new CRoundBtn(18);
  roundIcon->setFixedSize(140, 36);
  roundIcon->SetColors({QColor(2, 125, 255), QColor(43, 147, 255), QColor(0, 102, 214), QColor(174, 187, 208)});
  roundIcon->setIcon(QIcon(QStringLiteral("./Resources/Installer.png")));
  roundIcon->setIconSize(QSize(20, 20));
  roundIcon->SetText(QStringLiteral("Cancel"), Qt::white);
  auto* right = new CRightBtn;
  right->setText(QStringLiteral("Details"));
  auto* popup = new PopupWindowButton(QStringLiteral("Uninstall"));
  popup->setFixedSize(120, 36);
  auto* primary = new QPushButton(QStringLiteral("Erase Now"));
  primary->setStyleSheet(PrimaryButtonStyle());
  primary->setFixedSize(96, 26);
  auto* secondary = new QPushButton(QStringLiteral("Cancel"));
  secondary->setStyleSheet(SecondaryButtonStyle());
  secondary->setFixedSize(96, 26);
  for (QWidget* w : std::initializer_list<QWidget*>{round, roundIcon, right, popup, primary, secondary}) actions->addWidget(w);
  grid->addLayout(actions);
  Save(page, QStringLiteral("buttons"));
  delete page;
}

void Progress() {
  QWidget* page = Page(QStringLiteral("#FFFFFF"));
  page->setFixedWidth(460);
  auto* layout = new QVBoxLayout(page);
  const int values[] = {0, 45, 100};
  for (int v : values) {
    auto* w = new CProgressWidget;
    w->GetProgressBar()->setRange(0, 100);
    w->GetProgressBar()->setValue(v);
    w->SetText(QStringLiteral("Completely erasing: report.docx"), QStringLiteral("Pass 1 of 3"), 3);
    layout->addWidget(w);
  }
  auto* noPercent = new CProgressWidget;
  noPercent->SetShowPercent(false);
  noPercent->GetProgressBar()->setValue(70);
  noPercent->SetText(QStringLiteral("Without percentage"), QString(), 1);
  layout->addWidget(noPercent);
  Save(page, QStringLiteral("progress"));
  delete page;
}

void Header() {
  for (int state = 0; state < 3; ++state) {
    QTreeWidget tree;
    tree.setObjectName(QStringLiteral("Special"));
    tree.setFixedSize(520, 140);
    tree.setIndentation(0);
    auto* header = new CHeaderView(Qt::Horizontal, nullptr, true);
    tree.setHeader(header);
    tree.setHeaderLabels({QStringLiteral("     Name"), QStringLiteral("Path"), QStringLiteral("Size"), QStringLiteral("Type")});
    tree.setColumnWidth(0, 160);
    tree.setColumnWidth(1, 160);
    tree.setColumnWidth(2, 100);
    for (int i = 0; i < 3; ++i)
      tree.addTopLevelItem(new QTreeWidgetItem({QStringLiteral("file%1.txt").arg(i), QStringLiteral("/home/ana/Documents"),
                                                FormatSizeText(1536u * (i + 1) * 1000), QStringLiteral("Text")}));
    HeaderCheckMsgData record;
    record.checkState = state;
    SendBusMsg(MSG_SET_HEADER_CHECK, record);
    Save(&tree, QStringLiteral("header_check_%1").arg(state));
  }
}

void SmallWidgets() {
  QWidget* page = Page(QStringLiteral("#2A304E"));
  auto* layout = new QVBoxLayout(page);
  auto* search = new CSearchEdit;
  search->GetLineEdit()->setText(QStringLiteral("browser"));
  layout->addWidget(search);
  auto* title = new CWipeTitleWidget;
  title->InitUI(QStringLiteral("DATA ERASURE"));
  layout->addWidget(title);
  auto* tiles = new QHBoxLayout;
  auto* tile = new CWinAppIconWidget;
  tile->SetIcon(QString(), QStringLiteral("#027DFF"));
  auto* tile2 = new CWinAppIconWidget;
  tile2->SetIcon(QString(), QStringLiteral("#2EBD6B"));
  tiles->addWidget(tile);
  tiles->addWidget(tile2);
  tiles->addStretch();
  layout->addLayout(tiles);
  Save(page, QStringLiteral("small_widgets"));
  delete page;

  CBottomWidget bottom;
  bottom.setFixedWidth(700);
  bottom.InitUI();
  bottom.SetText(QStringLiteral("3 programs selected, 1.25 GB"));
  Save(&bottom, QStringLiteral("bottom_widget"));

  CRecommendWidget recommend;
  recommend.setFixedWidth(700);
  recommend.InitUI(QStringLiteral("Norvanta Vantorel Pro"), QStringLiteral("Erase files, partitions and free space beyond recovery."),
                   QIcon(QStringLiteral("./Resources/About.png")));
  Save(&recommend, QStringLiteral("recommend_widget"));
}

void Menu() {
  CStyleMenu menu;
  menu.setContentsMargins(5, 0, 0, 0);
  const char* texts[] = {"Support Center", "Vantorel User Guide", "About"};
  for (const char* t : texts) {
    auto* action = new QWidgetAction(&menu);
    auto* row = new CBPStyleMenuItem(QString::fromLatin1(t), QString());
    row->setMinimumWidth(125);
    action->setDefaultWidget(row);
    menu.addAction(action);
  }
  menu.popup(QPoint(100, 100));
  Settle();
  Save(&menu, QStringLiteral("title_menu"));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  QApplication app(argc, argv);
  g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
  // Run from the program's build folder: its images, style sheets and
  // plug-in are the program's.
  platform::SetResourceFolder(QDir::currentPath().toStdString());
  QDir().mkpath(g_out);
  InstallFontSubstitutes();
  app.setStyleSheet(BuildStyleSheet());
  // The pages and dialogs the program has, and its volume analysers (the
  // disk pages list a FAT image, named as the program names it).
  RegisterProgramParts();
  MessageBoxes();
  Dialogs();
  Buttons();
  Progress();
  Header();
  SmallWidgets();
  Menu();
  EraseScreens(Save);
  UninstallScreens(Save);
  g_failures += PageScreens(Save, g_out);
  return g_failures == 0 ? 0 : 1;
}
