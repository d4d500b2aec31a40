// Lets code deep inside an analyser's reading (the sector-window reader)
// ask whether the running RAW search is to go on. One process-wide holder
// of the search's progress sink (not owned).
#pragma once

#include <atomic>

class IScanProgressSink;

class CRawSearchProgress {
 public:
  static CRawSearchProgress& Instance();
  void SetSink(IScanProgressSink* sink) { m_sink.store(sink); }
  void ClearSink() { m_sink.store(nullptr); }
  // The sink's ShouldContinue, or 1 when no sink is set.
  int Continue() const;

 private:
  CRawSearchProgress() = default;
  std::atomic<IScanProgressSink*> m_sink{nullptr};
};
