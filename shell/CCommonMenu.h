// The title bar's popup menus: help (support centre, user guide, about) and
// add (files, folders). Rows are CBPStyleMenuItem widgets of widget actions
// looked up by action id.
#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>

#include "CBPMsgReceiver.h"

class CStyleMenu;
class QAction;

class CCommonMenu : public QObject, public CBPMsgReceiver {
  Q_OBJECT
 public:
  enum ActionId {
    kSupportCenter = 8193,
    kUserGuide = 8194,
    kAbout = 8195,
    kAddFiles = 8201,
    kAddFolders = 8202,
  };
  using PairList = QList<QPair<int, int>>;

  explicit CCommonMenu(void* owner = nullptr, QObject* parent = nullptr);
  ~CCommonMenu() override;

  // Shows menu 1 (kind 2), menu 3 (kind 3) or menu 0 (kinds 0, 1) modally
  // and returns the chosen action; null for other kinds or no choice.
  QAction* Popup(uint kind, int number1, int number2, const PairList& list);
  void SetActionsVisible(uint mask);
  void SetActionsEnabled(uint mask);
  void PrepareMenu(uint kind);
  PairList GetPopupList() const;
  void SendMenuState16();
  void SendMenuState128();
  void SendMenuState256();

  QAction* Action(int id) const { return m_actions.value(id); }
  CStyleMenu* Menu(int index) const { return (index >= 0 && index < 4) ? m_menus[index] : nullptr; }

 public Q_SLOTS:
  void OnViewMenuTriggered(QAction* action);
  void OnOptionMenuTriggered(QAction* action);
  void OnAddMenuTriggered(QAction* action);

 private:
  void SendMenuState(int state);
  int m_lastNumber1 = -1;
  int m_lastNumber2 = -1;
  PairList m_lastList;
  CStyleMenu* m_menus[4] = {nullptr, nullptr, nullptr, nullptr};
  void* m_owner = nullptr;
  QMap<int, QAction*> m_actions;
  uint m_menuKind = 4;
};
