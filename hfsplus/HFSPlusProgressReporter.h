// Progress of the HFS+ walks for the caller's sink: a total, a step count
// sent as progress records, and whether to go on (the sink's answer and the
// caller's cancel flag). Without a sink the walk goes on and nothing is
// reported.
#pragma once

#include <atomic>
#include <cstdint>

class IScanProgressSink;

class HFSPlusProgressReporter {
 public:
  HFSPlusProgressReporter(IScanProgressSink* sink, bool silent, const std::atomic<int>* cancel = nullptr);
  // Sends the last progress record unless silent.
  ~HFSPlusProgressReporter();
  HFSPlusProgressReporter(const HFSPlusProgressReporter&) = delete;
  HFSPlusProgressReporter& operator=(const HFSPlusProgressReporter&) = delete;

  void SetTotal(uint64_t total) { m_total = total; }
  uint64_t GetTotal() const { return m_total; }
  uint64_t GetDone() const { return m_done; }
  // One more step; a progress record goes to the sink every so many steps.
  void Step();
  // False once the sink said stop or the cancel flag was raised.
  bool ShouldContinue();

 private:
  IScanProgressSink* m_sink = nullptr;
  const std::atomic<int>* m_cancel = nullptr;
  uint64_t m_total = 0;
  uint64_t m_done = 0;
  bool m_silent = false;
  bool m_stopped = false;
};
