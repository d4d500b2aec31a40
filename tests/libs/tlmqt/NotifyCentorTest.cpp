#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "CBPNotifyCentor.h"
#include "MsgDefine.h"

namespace {

constexpr uint kIdA = 60001;
constexpr uint kIdB = 60002;

struct Seen {
  uint id;
  std::vector<char> payload;
  bool onGuiThread;
};

class Recorder : public CBPMsgReceiver {
 public:
  explicit Recorder(std::function<void(const __MsgData&)> hook = nullptr) : m_hook(std::move(hook)) {
    SetNotifyCentor(CBPNotifyCentor::instance());
  }
  int ReceiveMsg(__MsgData msg) override {
    const char* p = static_cast<const char*>(msg.data);
    seen.push_back({msg.id, p ? std::vector<char>(p, p + msg.size) : std::vector<char>(),
                    QThread::currentThread() == QCoreApplication::instance()->thread()});
    if (m_hook) m_hook(msg);
    return 0;
  }
  std::vector<Seen> seen;

 private:
  std::function<void(const __MsgData&)> m_hook;
};

void Pump(int ms = 50) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Each case sets up receivers, sends from the GUI thread and checks how
// many messages of each receiver arrived, without pumping the event loop
// (so delivery must be synchronous).
struct DeliveryCase {
  const char* name;
  std::function<void(std::vector<std::unique_ptr<Recorder>>&)> setup;
  std::vector<uint> send;
  std::vector<size_t> expectedCounts;  // per receiver
};

TEST(NotifyCentor, DeliveryOnGuiThread) {
  std::vector<DeliveryCase> cases = {
      {"one receiver gets its id at once",
       [](auto& rs) {
         rs.push_back(std::make_unique<Recorder>());
         rs[0]->RegisterMsg(kIdA);
       },
       {kIdA},
       {1}},
      {"every registered receiver gets it",
       [](auto& rs) {
         for (int i = 0; i < 3; ++i) {
           rs.push_back(std::make_unique<Recorder>());
           rs.back()->RegisterMsg(kIdA);
         }
       },
       {kIdA},
       {1, 1, 1}},
      {"an id registered twice arrives once",
       [](auto& rs) {
         rs.push_back(std::make_unique<Recorder>());
         rs[0]->RegisterMsg(kIdA);
         rs[0]->RegisterMsg(kIdA);
       },
       {kIdA, kIdA},
       {2}},
      {"unregistered ids do not arrive",
       [](auto& rs) {
         rs.push_back(std::make_unique<Recorder>());
         rs[0]->RegisterMsg(kIdA);
       },
       {kIdB},
       {0}},
      {"UnRegisterMsg ends delivery",
       [](auto& rs) {
         rs.push_back(std::make_unique<Recorder>());
         rs[0]->RegisterMsg(kIdA);
         rs[0]->UnRegisterMsg(kIdA);
       },
       {kIdA},
       {0}},
      {"a receiver destroyed by an earlier handler gets nothing",
       [](auto& rs) {
         // Whichever of the two runs first deletes the other: exactly one delivery.
         rs.push_back(nullptr);
         rs.push_back(nullptr);
         auto* slots = &rs;
         rs[0] = std::make_unique<Recorder>([slots](const __MsgData&) { (*slots)[1].reset(); });
         rs[1] = std::make_unique<Recorder>([slots](const __MsgData&) { (*slots)[0].reset(); });
         rs[0]->RegisterMsg(kIdA);
         rs[1]->RegisterMsg(kIdA);
       },
       {kIdA},
       {}},  // checked below: one survivor with one message
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::unique_ptr<Recorder>> rs;
    c.setup(rs);
    for (uint id : c.send) CBPNotifyCentor::instance()->SendMsg(id, 0, nullptr, 0);
    if (c.expectedCounts.empty()) {
      int alive = 0;
      for (auto& r : rs)
        if (r) {
          ++alive;
          EXPECT_EQ(r->seen.size(), 1u);
        }
      EXPECT_EQ(alive, 1);
      continue;
    }
    ASSERT_EQ(rs.size(), c.expectedCounts.size());
    for (size_t i = 0; i < rs.size(); ++i) {
      EXPECT_EQ(rs[i]->seen.size(), c.expectedCounts[i]) << "receiver " << i;
      for (auto& s : rs[i]->seen) EXPECT_TRUE(s.onGuiThread);
    }
  }
  EXPECT_EQ(CBPNotifyCentor::instance()->ReceiverCount(kIdA), 0u) << "destroyed receivers must leave the table";
}

TEST(NotifyCentor, WorkerMessagesArriveOnGuiThreadWithCopiedPayload) {
  Recorder r;
  r.RegisterMsg(MSG_ERASE_FILES_PROGRESS);
  std::thread worker([] {
    for (int i = 1; i <= 5; ++i) {
      ProgressMsgData data;
      data.value = i;
      data.extra2 = i * 10;
      SendBusMsg(MSG_ERASE_FILES_PROGRESS, data);
      data.value = -1;  // the sender's record changes once the call is back
      data.extra2 = -1;
    }
  });
  worker.join();
  EXPECT_TRUE(r.seen.empty()) << "a worker's message must wait for the GUI thread";
  Pump();
  ASSERT_EQ(r.seen.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(r.seen[i].payload.size(), sizeof(ProgressMsgData));
    ProgressMsgData got;
    std::memcpy(&got, r.seen[i].payload.data(), sizeof got);
    EXPECT_EQ(got.value, i + 1);
    EXPECT_EQ(got.extra2, (i + 1) * 10);
    EXPECT_TRUE(r.seen[i].onGuiThread);
  }
}

TEST(NotifyCentor, QueuedMessageToDestroyedReceiverIsDropped) {
  auto r = std::make_unique<Recorder>();
  r->RegisterMsg(kIdA);
  std::thread worker([] { SendBusMsg(kIdA); });
  worker.join();
  r.reset();
  // A new receiver at possibly the same address must not inherit the message.
  Recorder late;
  late.RegisterMsg(kIdB);
  Pump();
  EXPECT_TRUE(late.seen.empty());
}

TEST(NotifyCentor, HandlerMayRunNestedLoopWhileMessagesArrive) {
  Recorder second;
  second.RegisterMsg(kIdB);
  std::atomic<bool> nestedDone{false};
  Recorder first([&](const __MsgData&) {
    // A modal dialog's loop: meanwhile a worker's message comes in.
    std::thread worker([] { SendBusMsg(kIdB); });
    worker.join();
    Pump(30);
    nestedDone = true;
  });
  first.RegisterMsg(kIdA);
  SendBusMsg(kIdA);
  EXPECT_TRUE(nestedDone);
  EXPECT_EQ(first.seen.size(), 1u);
  EXPECT_EQ(second.seen.size(), 1u) << "delivered inside the nested loop";
}

}  // namespace
