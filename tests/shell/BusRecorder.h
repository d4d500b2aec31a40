// A stand-in receiver on the message bus: records the ids it registered, in
// the order they arrive.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <initializer_list>
#include <vector>

#include "CBPMsgReceiver.h"
#include "CBPNotifyCentor.h"

class BusRecorder : public CBPMsgReceiver {
 public:
  explicit BusRecorder(std::initializer_list<uint> ids) {
    SetNotifyCentor(CBPNotifyCentor::instance());
    for (uint id : ids) RegisterMsg(id);
  }
  int ReceiveMsg(__MsgData msg) override {
    received.push_back(msg.id);
    return 0;
  }
  int Count(uint id) const {
    int n = 0;
    for (uint r : received) n += r == id;
    return n;
  }
  // Runs the event loop until `id` has arrived `count` times or `ms` pass.
  bool WaitFor(uint id, int count, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (Count(id) < count && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return Count(id) >= count;
  }
  std::vector<uint> received;
};

// Runs the event loop for a while (to show that nothing more arrives).
inline void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}
