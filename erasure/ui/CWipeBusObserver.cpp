#include "CWipeBusObserver.h"

#include "MsgDefine.h"

void CWipeBusObserver::Progress(int pass, uint64_t sectorsDone, bool verifying) {
  ProgressMsgData msg;
  msg.value = pass;
  msg.extra1 = verifying ? 1 : 0;
  msg.extra2 = pass;
  SendBusMsg(m_progressId, msg);
  if (m_next) m_next->Progress(pass, sectorsDone, verifying);
}

void CWipeBusObserver::Done(int result, bool cancelled) {
  ProgressMsgData msg;
  msg.value = 100;
  msg.code = result;
  SendBusMsg(m_doneId, msg);
  if (m_next) m_next->Done(result, cancelled);
}
