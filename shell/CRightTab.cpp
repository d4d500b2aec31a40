#include "CRightTab.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QTabBar>
#include <QVBoxLayout>

#include "CRightContentBase.h"
#include "PageFactories.h"
#include "UiHelpers.h"

namespace {

// Shown under an index whose page the program has not registered.
QWidget* MakePlaceholderPage(int pageId) {
  auto* host = new QWidget;
  host->setObjectName(QStringLiteral("PlaceholderPage%1").arg(pageId));
  auto* layout = new QVBoxLayout(host);
  auto* label = new QLabel(QCoreApplication::translate("CRightTab", "This page is not available yet."));
  label->setAlignment(Qt::AlignCenter);
  SetWidgetFont(label, 16);
  SetWidgetTextColor(label, QColor(120, 126, 140));
  layout->addWidget(label);
  return host;
}

// The page object of a host: the host itself or its layout.
CRightContentBase* PageOf(QWidget* host) {
  if (!host) return nullptr;
  if (auto* page = dynamic_cast<CRightContentBase*>(host)) return page;
  return dynamic_cast<CRightContentBase*>(host->layout());
}

}  // namespace

CRightTab::CRightTab(QWidget* parent) : CBPQtTabWidget(parent) {
  for (int id = kFilePage; id <= kInternetPage; ++id) {
    QWidget* page = nullptr;
    if (PageFactory factory = GetPageFactory(id)) page = factory();
    AddPage(page ? page : MakePlaceholderPage(id), id);
  }
  SwitchToPage(kFilePage, -1, -1);
  tabBar()->hide();
  setDocumentMode(true);
}

CRightTab::~CRightTab() = default;

void CRightTab::AddPageLayout(QLayout* page, int pageId) {
  auto* host = new QWidget;
  host->setLayout(page);
  AddPage(host, pageId);
}

void CRightTab::AddPage(QWidget* host, int pageId) {
  if (!host) return;
  if (QWidget* old = m_pages.value(pageId, nullptr)) {
    const int at = indexOf(old);
    if (at >= 0) removeTab(at);
    old->deleteLater();
  }
  m_pages[pageId] = host;
  addTab(host, QIcon(), QString());
}

void CRightTab::SwitchToPage(int pageId, int param1, int param2) {
  QWidget* host = m_pages.value(pageId, nullptr);
  if (!host) return;
  if (CRightContentBase* page = PageOf(host)) page->Activate(param1, param2);
  setCurrentWidget(host);
}

int CRightTab::CurrentPageId() const {
  QWidget* current = currentWidget();
  for (auto it = m_pages.constBegin(); it != m_pages.constEnd(); ++it)
    if (current && it.value() == current) return it.key();
  return 5;
}

void CRightTab::keyPressEvent(QKeyEvent* event) {
  // No key switches pages (Ctrl+Tab, Ctrl+PageDown and the like included).
  event->ignore();
}

void CRightTab::paintEvent(QPaintEvent*) {}
