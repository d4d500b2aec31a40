// One node of the plug-in's item tree: a group, a category (a program) or an
// entry (one kind of trace). Entries carry their check state.
#pragma once

#include <vector>

#include "CTraceCatalog.h"
#include "ITraceSweep.h"

class CTraceItem : public ITraceSweepItem, public ITraceSweepItemCheck {
 public:
  CTraceItem(TraceSweepItemKind kind, TraceSweepItemInfo info);
  ~CTraceItem() override;

  // Takes the caller's reference to child.
  void AddChild(CTraceItem* child) { m_children.push_back(child); }
  const std::vector<CTraceItem*>& Children() const { return m_children; }
  // The definition behind a category or entry (owned by the catalogue).
  void SetCategory(const TraceCategoryDef* def) { m_category = def; }
  void SetEntry(const TraceEntryDef* def) { m_entry = def; }
  const TraceCategoryDef* Category() const { return m_category; }
  const TraceEntryDef* Entry() const { return m_entry; }
  // ITraceSweepItem
  TraceSweepItemKind GetKind() const override { return m_kind; }
  ITraceSweepItem* GetFirstItem() override;
  ITraceSweepItem* GetNextItem(ITraceSweepItem* previous) override;
  const TraceSweepItemInfo* GetInfo() const override { return &m_info; }
  ITraceSweepItemCheck* QueryCheck() override;
  bool IsEnabled() override;

  // ITraceSweepItemCheck
  ITraceSweepItem* GetItem() override { return this; }
  void SetChecked(int checked) override { m_checked = checked != 0; }
  int IsChecked() const override { return m_checked ? 1 : 0; }

 private:
  TraceSweepItemKind m_kind;
  TraceSweepItemInfo m_info;
  std::vector<CTraceItem*> m_children;
  const TraceCategoryDef* m_category = nullptr;
  const TraceEntryDef* m_entry = nullptr;
  bool m_checked = false;
};

struct CTraceTarget;
// True when one of the category's detection patterns exists in the target's home.
bool IsCategoryPresent(const TraceCategoryDef& category, const CTraceTarget& target);

// The walk GetFirstItem/GetNextItem of a list of items (shared by the root object).
ITraceSweepItem* NextTraceItem(const std::vector<CTraceItem*>& items, ITraceSweepItem* previous);
