#include "CTraceSweep.h"

#include <sys/stat.h>

#include <set>

#include "CTraceDatabase.h"
#include "CTraceFiles.h"
#include "CTraceTarget.h"
#include "ProcessControl.h"
#include "ProgramFolder.h"
#include "RunLog.h"

namespace {

// How long programs get to end after SIGTERM before SIGKILL.
constexpr int kTerminateGraceMs = 3000;

TraceSweepItemInfo MakeInfo(const CTraceCatalog& catalog, uint32_t resId, const std::string& id) {
  TraceText text = catalog.Text(resId);
  return {text.name, resId, text.icon, id};
}

// Every path of an entry, each once: files and folders, then databases.
struct EntryMatches {
  std::vector<std::string> paths;
  std::vector<std::pair<const TraceDatabaseRule*, std::string>> databases;
};

EntryMatches MatchEntry(const TraceEntryDef& entry, const CTraceFiles& files) {
  EntryMatches out;
  std::set<std::string> seen;
  for (const std::string& pattern : entry.paths)
    for (std::string& rel : files.Match(pattern))
      if (seen.insert(rel).second) out.paths.push_back(std::move(rel));
  for (const TraceDatabaseRule& rule : entry.databases)
    for (std::string& rel : files.Match(rule.pattern)) {
      struct stat st;
      if (files.Stat(rel, st) && S_ISREG(st.st_mode)) out.databases.emplace_back(&rule, std::move(rel));
    }
  return out;
}

CTraceDatabase OpenDatabase(const CTraceFiles& files, const std::string& rel) {
  struct stat st {};
  files.Stat(rel, st);
  return CTraceDatabase(files.FullPath(rel), st.st_uid, st.st_gid);
}

}  // namespace

CTraceSweep::~CTraceSweep() {
  ReleaseTree();
}

void CTraceSweep::ReleaseTree() {
  for (CTraceItem* group : m_groups) group->Release();
  m_groups.clear();
  m_ready = false;
}

int64_t CTraceSweep::Init(std::string configPath, std::string resIdTextPath) {
  if (m_running) return kNotReady;
  // The plug-in holds its own copy of the log library, which writes to
  // standard error until told otherwise: its lines belong in the run log the
  // program keeps (once the program has made it).
  const std::string runLog = platform::ProgramFile("RunLog.log");
  struct stat logStat {};
  if (RunLogFile() != runLog && stat(runLog.c_str(), &logStat) == 0 && !RunLogSetFile(runLog))
    LogError("TraceSweep: cannot write to %s", runLog.c_str());
  ReleaseTree();
  std::string error;
  if (!m_catalog.Load(configPath, resIdTextPath, error)) {
    LogError("TraceSweep: %s", error.c_str());
    return kBadFiles;
  }
  for (const TraceGroupDef& g : m_catalog.Groups()) {
    auto* group = new CTraceItem(TraceSweepItemKind::Group, MakeInfo(m_catalog, g.resId, g.id));
    for (const TraceCategoryDef& c : g.categories) {
      auto* category = new CTraceItem(TraceSweepItemKind::Category, MakeInfo(m_catalog, c.resId, c.id));
      category->SetCategory(&c);
      for (const TraceEntryDef& e : c.entries) {
        auto* entry = new CTraceItem(TraceSweepItemKind::Entry, MakeInfo(m_catalog, e.resId, e.id));
        entry->SetCategory(&c);
        entry->SetEntry(&e);
        entry->SetChecked(e.checked);
        category->AddChild(entry);
      }
      group->AddChild(category);
    }
    m_groups.push_back(group);
  }
  m_ready = true;
  return kOk;
}

int64_t CTraceSweep::Uninit() {
  if (m_running) return kNotReady;
  ReleaseTree();
  return kOk;
}

std::string CTraceSweep::GetTargetHome() {
  return CTraceTarget::Resolve().home;
}

int64_t CTraceSweep::Run(ITraceSweepSink* sink, bool clean) {
  if (!m_ready || !sink || m_running) return kNotReady;
  const CTraceTarget target = CTraceTarget::Resolve();
  if (!target.IsValid()) return kNoTarget;
  const CTraceFiles files(target.home);

  // The programs found in the home folder, with the entries this run handles.
  std::vector<std::pair<CTraceItem*, std::vector<CTraceItem*>>> work;
  size_t total = 0;
  for (CTraceItem* group : m_groups)
    for (CTraceItem* category : group->Children()) {
      if (!IsCategoryPresent(*category->Category(), target)) continue;
      std::vector<CTraceItem*> entries;
      for (CTraceItem* entry : category->Children())
        if (!clean || entry->IsChecked()) entries.push_back(entry);
      if (entries.empty()) continue;
      total += entries.size();
      work.emplace_back(category, std::move(entries));
    }

  m_running = true;
  sink->AddRef();
  bool go = sink->OnProgress(0, 0);
  size_t done = 0;
  for (auto& [category, entries] : work) {
    if (!go) break;
    if (clean && !EndPrograms(category, target, sink)) {
      done += entries.size();
      go = sink->OnProgress(static_cast<int>(done * 100 / total), 0);
      continue;
    }
    for (CTraceItem* entry : entries) {
      go = clean ? CleanEntry(entry, files, sink) : ScanEntry(entry, files, sink);
      ++done;
      if (!go) break;
      go = sink->OnProgress(static_cast<int>(done * 100 / total), 0);
      if (!go) break;
    }
  }
  if (go && total == 0) go = sink->OnProgress(100, 0);
  sink->Release();
  m_running = false;
  return go ? kOk : kStopped;
}

bool CTraceSweep::EndPrograms(CTraceItem* category, const CTraceTarget& target, ITraceSweepSink* sink) {
  const TraceCategoryDef& def = *category->Category();
  if (def.processes.empty()) return true;
  std::vector<pid_t> pids = platform::FindProcessIds(def.processes, target.uid);
  if (pids.empty()) return true;
  std::vector<uint32_t> ids(pids.begin(), pids.end());
  ids.push_back(0);
  if (!sink->OnTerminateProcess(category->GetInfo()->name, ids.data(), static_cast<uint32_t>(pids.size()))) {
    LogInfo("TraceSweep: %s keeps running; its traces stay", def.id.c_str());
    return false;
  }
  // The page may have ended them already. End those still alive, looked up
  // afresh (an id may have been reused since, and the program may have
  // started more), and make sure none is left before touching their files.
  platform::TerminateProcesses(platform::FindProcessIds(def.processes, target.uid), kTerminateGraceMs);
  const std::vector<pid_t> alive = platform::FindProcessIds(def.processes, target.uid);
  if (!alive.empty()) {
    LogError("TraceSweep: %zu process(es) of %s still run; its traces stay", alive.size(), def.id.c_str());
    return false;
  }
  return true;
}

bool CTraceSweep::ScanEntry(CTraceItem* entry, const CTraceFiles& files, ITraceSweepSink* sink) {
  const EntryMatches found = MatchEntry(*entry->Entry(), files);
  for (const std::string& rel : found.paths)
    if (!sink->OnGarbageFound(files.FullPath(rel), files.Measure(rel), entry)) return false;
  for (const auto& [rule, rel] : found.databases)
    if (!sink->OnGarbageFound(files.FullPath(rel), OpenDatabase(files, rel).Measure(*rule), entry)) return false;
  // An entry that found nothing still reports, so that it shows as not found.
  if (found.paths.empty() && found.databases.empty()) return sink->OnGarbageFound(entry->GetInfo()->name, 0, entry);
  return true;
}

bool CTraceSweep::CleanEntry(CTraceItem* entry, const CTraceFiles& files, ITraceSweepSink* sink) {
  const EntryMatches found = MatchEntry(*entry->Entry(), files);
  for (const std::string& rel : found.paths) {
    bool complete = false;
    uint64_t removed = files.Remove(rel, complete);
    if (!complete) LogError("TraceSweep: %s was removed only in part", files.FullPath(rel).c_str());
    if (!sink->OnGarbageCleaned(files.FullPath(rel), removed, entry)) return false;
  }
  for (const auto& [rule, rel] : found.databases) {
    bool ok = false;
    uint64_t freed = OpenDatabase(files, rel).Clean(*rule, ok);
    if (!ok) LogError("TraceSweep: history of %s was not cleaned", files.FullPath(rel).c_str());
    if (!sink->OnGarbageCleaned(files.FullPath(rel), freed, entry)) return false;
  }
  return true;
}

extern "C" __attribute__((visibility("default"))) ITraceSweep* GetImp() {
  return new CTraceSweep();
}
