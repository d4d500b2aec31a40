#include "CBPMsgReceiver.h"

#include "CBPNotifyCentor.h"

CBPMsgReceiver::CBPMsgReceiver() = default;

CBPMsgReceiver::CBPMsgReceiver(INotifyCentor* centre, uint firstId) {
  SetNotifyCentor(centre);
  if (firstId != 0) RegisterMsg(firstId);
}

CBPMsgReceiver::~CBPMsgReceiver() {
  if (CBPNotifyCentor* c = Centre()) c->Detach(this);
}

CBPNotifyCentor* CBPMsgReceiver::Centre() const { return dynamic_cast<CBPNotifyCentor*>(m_centre); }

void CBPMsgReceiver::SetNotifyCentor(INotifyCentor* centre) {
  if (centre == m_centre) return;
  if (CBPNotifyCentor* old = Centre()) old->Detach(this);
  m_centre = centre;
  if (CBPNotifyCentor* c = Centre()) c->Attach(this);
}

void CBPMsgReceiver::RegisterMsg(uint id) {
  if (CBPNotifyCentor* c = Centre()) c->Register(this, id, false);
}

void CBPMsgReceiver::UnRegisterMsg(uint id) {
  if (CBPNotifyCentor* c = Centre()) c->Unregister(this, id, false);
}

void CBPMsgReceiver::RegisterSig(uint id) {
  if (CBPNotifyCentor* c = Centre()) c->Register(this, id, true);
}

void CBPMsgReceiver::UnRegisterSig(uint id) {
  if (CBPNotifyCentor* c = Centre()) c->Unregister(this, id, true);
}

int CBPMsgReceiver::ReceiveMsg(__MsgData) { return 0; }

int CBPMsgReceiver::ReceiveSig(__MsgData) { return 0; }
