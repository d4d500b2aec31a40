// The process-wide message bus.
//
// Delivery always happens on the GUI thread (the thread of the
// QCoreApplication): a message sent there is delivered before SendMsg
// returns; a message sent from any other thread is queued with a copy of its
// payload and delivered by the GUI thread's event loop. Receivers are looked
// up when the message is delivered, so one that was destroyed in between
// receives nothing. A receiver that registered an id more than once receives
// each message of it once. Handlers may run nested event loops (modal
// dialogs) while other messages arrive.
//
// Without a QCoreApplication (command-line tools) there is no GUI thread and
// every message is delivered at once on the sending thread.
#pragma once

#include <QObject>

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

#include "CBPMsgReceiver.h"
#include "INotifyCentor.h"

class CBPNotifyCentor : public QObject, public INotifyCentor {
  Q_OBJECT
 public:
  static CBPNotifyCentor* instance();

  int SendMsg(uint id, int param, const void* data, uint size) override;

  // Receiver bookkeeping, called by CBPMsgReceiver.
  void Attach(CBPMsgReceiver* receiver);
  void Detach(CBPMsgReceiver* receiver);
  void Register(CBPMsgReceiver* receiver, uint id, bool signal);
  void Unregister(CBPMsgReceiver* receiver, uint id, bool signal);

  // How many receivers hold id (for tests and diagnostics).
  size_t ReceiverCount(uint id) const;

 private:
  CBPNotifyCentor();
  struct Target {
    CBPMsgReceiver* receiver;
    uint64_t serial;
  };
  std::vector<Target> TargetsOf(uint id, bool signal) const;
  bool StillRegistered(const Target& t, uint id, bool signal) const;
  void Deliver(uint id, int param, const void* data, uint size, bool signal);

  mutable std::mutex m_mutex;
  uint64_t m_nextSerial = 1;
  std::unordered_map<CBPMsgReceiver*, uint64_t> m_serials;
  std::map<uint, std::set<CBPMsgReceiver*>> m_msgs;
  std::map<uint, std::set<CBPMsgReceiver*>> m_sigs;
};
