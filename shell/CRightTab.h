// The page stack of the page area: a tab widget without a tab bar holding
// one host widget per page index; exactly one page shows at a time.
#pragma once

#include <QMap>

#include "CBPQtTabWidget.h"

class QLayout;

class CRightTab : public CBPQtTabWidget {
  Q_OBJECT
 public:
  // Builds pages 0 to 3 from the registered factories (a placeholder page
  // where none is registered) and shows page 0.
  explicit CRightTab(QWidget* parent = nullptr);
  ~CRightTab() override;

  // Wraps a page layout in a new host widget and adds it.
  void AddPageLayout(QLayout* page, int pageId);
  // Stores the host under pageId (replacing an earlier one) and adds it as a tab.
  void AddPage(QWidget* host, int pageId);
  // Activates and shows the page; an index without a page changes nothing.
  void SwitchToPage(int pageId, int param1, int param2);
  // The index of the page on show; 5 when none is.
  int CurrentPageId() const;
  QWidget* PageHost(int pageId) const { return m_pages.value(pageId, nullptr); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QMap<int, QWidget*> m_pages;
};
