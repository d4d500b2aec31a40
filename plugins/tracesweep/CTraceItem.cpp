#include "CTraceItem.h"

#include <utility>

#include "CTraceFiles.h"
#include "CTraceTarget.h"

ITraceSweepItem* NextTraceItem(const std::vector<CTraceItem*>& items, ITraceSweepItem* previous) {
  size_t next = 0;
  if (previous) {
    // Compared by address only: previous may have been released by the caller.
    next = items.size();
    for (size_t i = 0; i < items.size(); ++i)
      if (static_cast<ITraceSweepItem*>(items[i]) == previous) next = i + 1;
  }
  if (next >= items.size()) return nullptr;
  items[next]->AddRef();
  return items[next];
}

bool IsCategoryPresent(const TraceCategoryDef& category, const CTraceTarget& target) {
  if (!target.IsValid()) return false;
  CTraceFiles files(target.home);
  for (const std::string& pattern : category.detect)
    if (!files.Match(pattern).empty()) return true;
  return false;
}

CTraceItem::CTraceItem(TraceSweepItemKind kind, TraceSweepItemInfo info) : m_kind(kind), m_info(std::move(info)) {}

CTraceItem::~CTraceItem() {
  for (CTraceItem* child : m_children) child->Release();
}

ITraceSweepItem* CTraceItem::GetFirstItem() {
  return NextTraceItem(m_children, nullptr);
}

ITraceSweepItem* CTraceItem::GetNextItem(ITraceSweepItem* previous) {
  return previous ? NextTraceItem(m_children, previous) : nullptr;
}

ITraceSweepItemCheck* CTraceItem::QueryCheck() {
  return m_kind == TraceSweepItemKind::Entry ? static_cast<ITraceSweepItemCheck*>(this) : nullptr;
}

bool CTraceItem::IsEnabled() {
  switch (m_kind) {
    case TraceSweepItemKind::Entry:
      return true;
    case TraceSweepItemKind::Category:
      return m_category && IsCategoryPresent(*m_category, CTraceTarget::Resolve());
    case TraceSweepItemKind::Group:
      for (CTraceItem* child : m_children)
        if (child->IsEnabled()) return true;
      return false;
  }
  return false;
}
