#include "HFSPlusProgressReporter.h"

#include "IScanProgressSink.h"
#include "ScanStatusRecord.h"

namespace {
constexpr uint64_t kReportInterval = 256;
}

HFSPlusProgressReporter::HFSPlusProgressReporter(IScanProgressSink* sink, bool silent,
                                                 const std::atomic<int>* cancel)
    : m_sink(sink), m_cancel(cancel), m_silent(silent) {}

HFSPlusProgressReporter::~HFSPlusProgressReporter() {
  if (!m_silent) SendScanStatus(m_sink, EScanStatusKind::Progress, m_total, m_done);
}

void HFSPlusProgressReporter::Step() {
  if (m_silent) return;
  ++m_done;
  if (m_done % kReportInterval == 0) SendScanStatus(m_sink, EScanStatusKind::Progress, m_total, m_done);
}

bool HFSPlusProgressReporter::ShouldContinue() {
  if (m_stopped) return false;
  if ((m_cancel && m_cancel->load() != 0) || (m_sink && m_sink->ShouldContinue() == 0)) m_stopped = true;
  return !m_stopped;
}
