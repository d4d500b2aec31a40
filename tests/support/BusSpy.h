// A stand-in receiver on the message bus for the GUI tests: records every
// message of the ids it registered, in the order they arrive, with a copy of
// its payload. Header-only; its users link tlmqt (through shell or above).
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "CBPMsgReceiver.h"
#include "CBPNotifyCentor.h"

namespace testutil {

class BusSpy : public CBPMsgReceiver {
 public:
  struct Message {
    uint id = 0;
    std::string payload;  // the payload bytes, empty when it had none
  };

  explicit BusSpy(std::initializer_list<uint> ids) {
    SetNotifyCentor(CBPNotifyCentor::instance());
    for (uint id : ids) RegisterMsg(id);
  }
  int ReceiveMsg(__MsgData msg) override {
    Message m;
    m.id = msg.id;
    if (msg.data && msg.size) m.payload.assign(static_cast<const char*>(msg.data), msg.size);
    messages.push_back(m);
    return 0;
  }

  // The ids in the order they arrived.
  std::vector<uint> Ids() const {
    std::vector<uint> out;
    for (const Message& m : messages) out.push_back(m.id);
    return out;
  }
  int Count(uint id) const {
    int n = 0;
    for (const Message& m : messages) n += m.id == id;
    return n;
  }
  bool Empty() const { return messages.empty(); }
  void Clear() { messages.clear(); }

  // The payload of each message of `id` as a T; a payload of another size
  // fails the test and is left out.
  template <typename T>
  std::vector<T> Payloads(uint id) const {
    std::vector<T> out;
    for (const Message& m : messages) {
      if (m.id != id) continue;
      if (m.payload.size() != sizeof(T)) {
        ADD_FAILURE() << "message " << id << " carries " << m.payload.size() << " bytes, not " << sizeof(T);
        continue;
      }
      T value;
      std::memcpy(static_cast<void*>(&value), m.payload.data(), sizeof(T));
      out.push_back(value);
    }
    return out;
  }
  // The first int32 of each payload of `id` (the check state, the progress
  // value...), -1 for a shorter payload.
  std::vector<int32_t> Values(uint id) const {
    std::vector<int32_t> out;
    for (const Message& m : messages) {
      if (m.id != id) continue;
      int32_t first = -1;
      if (m.payload.size() >= sizeof first) std::memcpy(&first, m.payload.data(), sizeof first);
      out.push_back(first);
    }
    return out;
  }

  // Runs the event loop until `id` has arrived `count` times or `ms` pass.
  bool WaitFor(uint id, int count, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (Count(id) < count && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return Count(id) >= count;
  }

  std::vector<Message> messages;
};

// Runs the event loop for a while (to show that nothing more arrives).
inline void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace testutil
