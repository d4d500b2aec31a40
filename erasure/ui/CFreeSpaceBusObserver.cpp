#include "CFreeSpaceBusObserver.h"

#include "MsgDefine.h"

void CFreeSpaceBusObserver::Started() {
  ProgressMsgData msg;
  msg.value = 1;
  SendBusMsg(MSG_WIPE_FREESPACE_START, msg);
  if (m_next) m_next->Started();
}

void CFreeSpaceBusObserver::Progress(int pass, uint64_t bytesWritten, uint64_t freeBytes) {
  m_written.store(bytesWritten);
  m_free.store(freeBytes);
  ProgressMsgData msg;
  msg.value = pass;
  msg.extra2 = pass;
  SendBusMsg(MSG_WIPE_FREESPACE_PROGRESS, msg);
  if (m_next) m_next->Progress(pass, bytesWritten, freeBytes);
}

void CFreeSpaceBusObserver::Done(int result, bool cancelled) {
  ProgressMsgData msg;
  msg.value = 100;
  msg.code = result;
  msg.flag = cancelled ? 1 : 0;
  SendBusMsg(MSG_WIPE_FREESPACE_DONE, msg);
  if (m_next) m_next->Done(result, cancelled);
}
