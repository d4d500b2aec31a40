#include "CRawSearchProgress.h"

#include "IScanProgressSink.h"

CRawSearchProgress& CRawSearchProgress::Instance() {
  static CRawSearchProgress holder;
  return holder;
}

int CRawSearchProgress::Continue() const {
  IScanProgressSink* sink = m_sink.load();
  return sink ? sink->ShouldContinue() : 1;
}
