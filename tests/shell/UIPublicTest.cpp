#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "CBPNotifyCentor.h"
#include "CUIPublic.h"
#include "MsgDefine.h"

namespace {

class PageSpy : public CBPMsgReceiver {
 public:
  PageSpy() {
    SetNotifyCentor(CBPNotifyCentor::instance());
    RegisterMsg(MSG_TITLE_REFRESH);
    RegisterMsg(MSG_SWITCH_PAGE);
  }
  int ReceiveMsg(__MsgData msg) override {
    PageMsgData d;
    std::memcpy(&d, msg.data, sizeof d);
    seen.push_back({msg.id, d});
    return 0;
  }
  struct Seen {
    uint id;
    PageMsgData data;
  };
  std::vector<Seen> seen;
};

TEST(UIPublic, ServiceLoadsThePluginAndSwitchesPages) {
  // The program folder holds libTraceSweep.so with its two files.
  setenv("VANTOREL_PROGRAM_DIR", VANTOREL_BIN_DIR, 1);
  CUIPublic* ui = CUIPublic::instance();
  EXPECT_EQ(ui, CUIPublic::instance());
  EXPECT_NE(ui->GetTraceGatherer(), nullptr) << "plug-in beside the program";
  EXPECT_EQ(ui->GetErasePasses(), 1);
  EXPECT_EQ(ui->DigitImages().size(), 10);
  EXPECT_EQ(ui->DigitImages().at(7), QStringLiteral("./Resources/7.png"));

  PageSpy spy;
  ui->SwitchPage(2, -1, -1);
  ASSERT_EQ(spy.seen.size(), 2u);
  EXPECT_EQ(spy.seen[0].id, static_cast<uint>(MSG_TITLE_REFRESH));
  EXPECT_EQ(spy.seen[1].id, static_cast<uint>(MSG_SWITCH_PAGE));
  for (const auto& s : spy.seen) {
    EXPECT_EQ(s.data.page, 2);
    EXPECT_EQ(s.data.reserved, 0);
    EXPECT_EQ(s.data.param1, 0);
    EXPECT_EQ(s.data.param2, 0);
  }
  EXPECT_EQ(ui->GetCurrentPage(), 2);

  // Kinds 3 and 6 share one cached icon.
  QIcon a = ui->LoadListIcons(3);
  QIcon b = ui->LoadListIcons(6);
  EXPECT_EQ(a.cacheKey(), b.cacheKey());
  unsetenv("VANTOREL_PROGRAM_DIR");
}

TEST(UIPublic, MissingLibrariesGiveNull) {
  EXPECT_EQ(CreatePluginInstance("NoSuchPlugin.dll", nullptr), nullptr);
  EXPECT_EQ(GetLogDllProc("qrtlog.dll", "log_write"), nullptr);
  EXPECT_EQ(WriteLog("%s", "nothing to write to"), 0);
  struct {
    int kind;
    bool local, cloud, ftp;
  } kinds[] = {{0, false, false, false}, {1, true, false, false}, {3, false, true, false},
               {6, false, true, false}, {7, false, false, true}, {8, true, false, false}};
  for (auto k : kinds) {
    EXPECT_EQ(IsLocalLocation(k.kind), k.local) << k.kind;
    EXPECT_EQ(IsCloudLocation(k.kind), k.cloud) << k.kind;
    EXPECT_EQ(IsFtpLocation(k.kind), k.ftp) << k.kind;
  }
}

}  // namespace
