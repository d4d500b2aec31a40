// Base class of every object that receives bus messages.
#pragma once

#include "INotifyCentor.h"

class CBPNotifyCentor;

class CBPMsgReceiver {
 public:
  // Joins no centre; the owner calls SetNotifyCentor, then RegisterMsg per id.
  CBPMsgReceiver();
  // Joins `centre` and registers `firstId` (0 registers nothing).
  CBPMsgReceiver(INotifyCentor* centre, uint firstId);
  virtual ~CBPMsgReceiver();

  CBPMsgReceiver(const CBPMsgReceiver&) = delete;
  CBPMsgReceiver& operator=(const CBPMsgReceiver&) = delete;

  virtual void SetNotifyCentor(INotifyCentor* centre);
  virtual void RegisterMsg(uint id);
  virtual void UnRegisterMsg(uint id);
  virtual void RegisterSig(uint id);
  virtual void UnRegisterSig(uint id);
  virtual int ReceiveMsg(__MsgData msg);
  virtual int ReceiveSig(__MsgData msg);

  INotifyCentor* NotifyCentor() const { return m_centre; }

 private:
  CBPNotifyCentor* Centre() const;
  INotifyCentor* m_centre = nullptr;
};
