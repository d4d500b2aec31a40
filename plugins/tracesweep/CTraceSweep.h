// The plug-in's root object: the item tree built from the catalogue, and the
// two runs. Scan measures every entry of the programs found in the desktop
// user's home; Clean removes the checked ones, after the sink agreed to end
// the programs that still run.
#pragma once

#include <vector>

#include "CTraceCatalog.h"
#include "CTraceItem.h"
#include "ITraceSweep.h"

class CTraceFiles;
struct CTraceTarget;

class CTraceSweep : public ITraceSweep {
 public:
  CTraceSweep() = default;
  ~CTraceSweep() override;

  uint32_t GetVersion() const override { return TraceSweepVersion; }
  ITraceSweepItem* GetFirstItem() override { return NextTraceItem(m_groups, nullptr); }
  ITraceSweepItem* GetNextItem(ITraceSweepItem* previous) override {
    return previous ? NextTraceItem(m_groups, previous) : nullptr;
  }
  int64_t Init(std::string configPath, std::string resIdTextPath) override;
  int64_t Uninit() override;
  std::string GetTargetHome() override;
  int64_t Scan(ITraceSweepSink* sink) override { return Run(sink, false); }
  int64_t Clean(ITraceSweepSink* sink) override { return Run(sink, true); }

  // Results of Init, Scan and Clean.
  enum Status : int64_t {
    kOk = 0,
    kBadFiles = 1,  // Init: a file is missing or wrong
    kNotReady = 2,  // no successful Init, no sink, or a run is going on
    kNoTarget = 3,  // the desktop user's home is unknown
    kStopped = 4,   // the sink asked to stop
  };

 private:
  int64_t Run(ITraceSweepSink* sink, bool clean);
  // Asks the sink to end the category's running processes and makes sure
  // they are gone; false when the category must be left alone.
  bool EndPrograms(CTraceItem* category, const CTraceTarget& target, ITraceSweepSink* sink);
  bool ScanEntry(CTraceItem* entry, const CTraceFiles& files, ITraceSweepSink* sink);
  bool CleanEntry(CTraceItem* entry, const CTraceFiles& files, ITraceSweepSink* sink);
  void ReleaseTree();

  CTraceCatalog m_catalog;
  std::vector<CTraceItem*> m_groups;
  bool m_ready = false;
  bool m_running = false;
};
