#include "CCommonMenu.h"

#include <QCursor>
#include <QWidgetAction>

#include "CAboutDlg.h"
#include "CBPStyleMenuItem.h"
#include "CStyleMenu.h"
#include "DesktopLinks.h"
#include "MainWindowSeam.h"
#include "MsgDefine.h"

namespace {

struct EntryInfo {
  int id;
  const char* text;
  int minWidth;
};

const EntryInfo kEntries[] = {
    {CCommonMenu::kSupportCenter, QT_TRANSLATE_NOOP("CCommonMenu", "Support Center"), 125},
    {CCommonMenu::kUserGuide, QT_TRANSLATE_NOOP("CCommonMenu", "Vantorel User Guide"), 125},
    {CCommonMenu::kAbout, QT_TRANSLATE_NOOP("CCommonMenu", "About"), 125},
    {CCommonMenu::kAddFiles, QT_TRANSLATE_NOOP("CCommonMenu", "Add Files"), 130},
    {CCommonMenu::kAddFolders, QT_TRANSLATE_NOOP("CCommonMenu", "Add Folders"), 130},
};

// Action ids that the visibility and enabled masks cover (1 << 0 .. 1 << 13).
bool IsMaskId(int id) { return id > 0 && id <= 8192 && (id & (id - 1)) == 0; }

}  // namespace

CCommonMenu::CCommonMenu(void* owner, QObject* parent) : QObject(parent), m_owner(owner) {
  for (auto& menu : m_menus) menu = new CStyleMenu;
  for (const EntryInfo& e : kEntries) {
    auto* action = new QWidgetAction(this);
    m_actions.insert(e.id, action);
    auto* row = new CBPStyleMenuItem(tr(e.text), QString());
    row->setMinimumWidth(e.minWidth);
    action->setDefaultWidget(row);
    action->setText(tr(e.text));
  }
  m_menus[1]->setContentsMargins(5, 0, 0, 0);
  m_menus[1]->addAction(m_actions[kSupportCenter]);
  m_menus[1]->addAction(m_actions[kUserGuide]);
  m_menus[1]->addAction(m_actions[kAbout]);
  connect(m_menus[1], &QMenu::triggered, this, &CCommonMenu::OnOptionMenuTriggered);
  m_menus[3]->addAction(m_actions[kAddFiles]);
  m_menus[3]->addAction(m_actions[kAddFolders]);
  connect(m_menus[3], &QMenu::triggered, this, &CCommonMenu::OnAddMenuTriggered);
  QFont font(QStringLiteral("Segoe UI"));
  font.setPixelSize(18);
  font.setBold(true);
  for (QAction* action : m_actions) action->setFont(font);
}

CCommonMenu::~CCommonMenu() {
  // The actions (and their rows) go before the menus that show them.
  qDeleteAll(m_actions);
  m_actions.clear();
  for (auto& menu : m_menus) delete menu;
}

QAction* CCommonMenu::Popup(uint kind, int number1, int number2, const PairList& list) {
  m_lastNumber1 = number1;
  m_lastNumber2 = number2;
  m_lastList = list;
  m_menuKind = kind;
  switch (kind) {
    case 0:
    case 1:
      PrepareMenu(kind);
      return m_menus[0]->exec(QCursor::pos());
    case 2:
      return m_menus[1]->exec(QCursor::pos() + QPoint(0, 5), m_actions[kSupportCenter]);
    case 3: {
      QWidget* main = ShellMainWindow();
      const QPoint origin = main ? main->geometry().topLeft() : QPoint();
      return m_menus[3]->exec(origin + QPoint(295, 164), m_actions[kAddFolders]);
    }
    default:
      return nullptr;
  }
}

void CCommonMenu::SetActionsVisible(uint mask) {
  for (auto it = m_actions.begin(); it != m_actions.end(); ++it) {
    if (IsMaskId(it.key())) it.value()->setVisible((mask & static_cast<uint>(it.key())) != 0);
  }
}

void CCommonMenu::SetActionsEnabled(uint mask) {
  for (auto it = m_actions.begin(); it != m_actions.end(); ++it) {
    if (!IsMaskId(it.key())) continue;
    const bool on = (mask & static_cast<uint>(it.key())) != 0;
    it.value()->setEnabled(on);
    if (auto* wa = qobject_cast<QWidgetAction*>(it.value())) {
      if (auto* row = qobject_cast<CBPStyleMenuItem*>(wa->defaultWidget())) row->setEnabled(on);
    }
  }
}

void CCommonMenu::PrepareMenu(uint) {
  static const int kBits[] = {1, 2, 4, 8, 32, 64, 128, 256, 1024, 2048, 4096, 8192};
  uint visible = 0;
  uint enabled = 0;
  for (int bit : kBits) {
    QAction* action = m_actions.value(bit);
    if (action && action->isVisible()) enabled |= static_cast<uint>(bit);
  }
  SetActionsVisible(visible);
  SetActionsEnabled(enabled);
}

CCommonMenu::PairList CCommonMenu::GetPopupList() const {
  PairList list = m_lastList;
  const QPair<int, int> last(m_lastNumber1, m_lastNumber2);
  if (!list.contains(last)) list.append(last);
  return list;
}

void CCommonMenu::SendMenuState(int state) {
  MenuMsgData record;
  record.state = state;
  record.x = m_lastNumber1;
  record.y = m_lastNumber2;
  SendBusMsg(MSG_MENU_STATE, record);
}

void CCommonMenu::SendMenuState16() { SendMenuState(16); }
void CCommonMenu::SendMenuState128() { SendMenuState(128); }
void CCommonMenu::SendMenuState256() { SendMenuState(256); }

void CCommonMenu::OnViewMenuTriggered(QAction*) {}

void CCommonMenu::OnOptionMenuTriggered(QAction* action) {
  if (!action) return;
  if (action == m_actions.value(kSupportCenter)) {
    OpenConfiguredLink(QStringLiteral("ID_LINK_SUPPORT"));
  } else if (action == m_actions.value(kUserGuide)) {
    OpenConfiguredLink(QStringLiteral("ID_LINK_HELP"));
  } else if (action == m_actions.value(kAbout)) {
    QWidget* main = ShellMainWindow();
    auto* about = new CAboutDlg(main);
    about->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    about->InitUI();
    about->exec();
    if (!main) delete about;  // stays as the main window's hidden child otherwise
  }
}

void CCommonMenu::OnAddMenuTriggered(QAction* action) {
  if (!action) return;
  if (action == m_actions.value(kAddFiles))
    SendBusMsg(MSG_ADD_FILES);
  else if (action == m_actions.value(kAddFolders))
    SendBusMsg(MSG_ADD_FOLDERS);
}
