#include "CBPNotifyCentor.h"
#include "MsgDefine.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

CBPNotifyCentor::CBPNotifyCentor() = default;

CBPNotifyCentor* CBPNotifyCentor::instance() {
  // Lives for the whole process: receivers may detach during static destruction.
  static CBPNotifyCentor* centre = [] {
    auto* c = new CBPNotifyCentor;
    if (QCoreApplication* app = QCoreApplication::instance()) c->moveToThread(app->thread());
    return c;
  }();
  // A centre created before the application lives on the thread that made it;
  // delivery must follow the application's thread once there is one.
  if (QCoreApplication* app = QCoreApplication::instance()) {
    if (centre->thread() != app->thread() && centre->thread() == QThread::currentThread())
      centre->moveToThread(app->thread());
  }
  return centre;
}

void CBPNotifyCentor::Attach(CBPMsgReceiver* receiver) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_serials[receiver] = m_nextSerial++;
}

void CBPNotifyCentor::Detach(CBPMsgReceiver* receiver) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_serials.erase(receiver);
  for (auto& entry : m_msgs) entry.second.erase(receiver);
  for (auto& entry : m_sigs) entry.second.erase(receiver);
}

void CBPNotifyCentor::Register(CBPMsgReceiver* receiver, uint id, bool signal) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_serials.count(receiver)) m_serials[receiver] = m_nextSerial++;
  (signal ? m_sigs : m_msgs)[id].insert(receiver);
}

void CBPNotifyCentor::Unregister(CBPMsgReceiver* receiver, uint id, bool signal) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto& table = signal ? m_sigs : m_msgs;
  auto it = table.find(id);
  if (it != table.end()) it->second.erase(receiver);
}

size_t CBPNotifyCentor::ReceiverCount(uint id) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_msgs.find(id);
  return it == m_msgs.end() ? 0 : it->second.size();
}

std::vector<CBPNotifyCentor::Target> CBPNotifyCentor::TargetsOf(uint id, bool signal) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<Target> out;
  const auto& table = signal ? m_sigs : m_msgs;
  auto it = table.find(id);
  if (it == table.end()) return out;
  out.reserve(it->second.size());
  for (CBPMsgReceiver* r : it->second) out.push_back({r, m_serials.at(r)});
  return out;
}

bool CBPNotifyCentor::StillRegistered(const Target& t, uint id, bool signal) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto s = m_serials.find(t.receiver);
  if (s == m_serials.end() || s->second != t.serial) return false;
  const auto& table = signal ? m_sigs : m_msgs;
  auto it = table.find(id);
  return it != table.end() && it->second.count(t.receiver) != 0;
}

void CBPNotifyCentor::Deliver(uint id, int param, const void* data, uint size, bool signal) {
  // A handler may destroy other receivers (closing a dialog) or run a nested
  // event loop; each target is checked again right before its turn.
  for (const Target& t : TargetsOf(id, signal)) {
    if (!StillRegistered(t, id, signal)) continue;
    __MsgData msg;
    msg.id = id;
    msg.data = data;
    msg.size = size;
    msg.param = param;
    if (signal)
      t.receiver->ReceiveSig(msg);
    else
      t.receiver->ReceiveMsg(msg);
  }
}

int CBPNotifyCentor::SendMsg(uint id, int param, const void* data, uint size) {
  if (size != 0 && data == nullptr) size = 0;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    Deliver(id, param, data, size, false);
    return 0;
  }
  // From a worker: the payload lives on the sender's stack, so copy it.
  QByteArray copy(static_cast<const char*>(data), static_cast<int>(size));
  QMetaObject::invokeMethod(
      this,
      [this, id, param, copy]() {
        Deliver(id, param, copy.isEmpty() ? nullptr : copy.constData(), static_cast<uint>(copy.size()), false);
      },
      Qt::QueuedConnection);
  return 0;
}

int SendBusMsg(unsigned int id, const void* data, unsigned int size) {
  return CBPNotifyCentor::instance()->SendMsg(id, 0, data, size);
}
