#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "BusSpy.h"
#include "CUIPublic.h"
#include "MsgDefine.h"
#include "ProgramFolder.h"

namespace {

TEST(UIPublic, ServiceLoadsThePluginAndSwitchesPages) {
  // The resource folder holds libTraceSweep.so with its two files.
  platform::SetResourceFolder(VANTOREL_BIN_DIR);
  CUIPublic* ui = CUIPublic::instance();
  EXPECT_EQ(ui, CUIPublic::instance());
  EXPECT_NE(ui->GetTraceGatherer(), nullptr) << "plug-in beside the program";
  EXPECT_EQ(ui->GetErasePasses(), 1);
  EXPECT_EQ(ui->DigitImages().size(), 10);
  EXPECT_EQ(ui->DigitImages().at(7), QStringLiteral("./Resources/7.png"));

  testutil::BusSpy spy({MSG_TITLE_REFRESH, MSG_SWITCH_PAGE});
  ui->SwitchPage(2, -1, -1);
  EXPECT_EQ(spy.Ids(), (std::vector<uint>{MSG_TITLE_REFRESH, MSG_SWITCH_PAGE}));
  for (uint id : {MSG_TITLE_REFRESH, MSG_SWITCH_PAGE}) {
    for (const PageMsgData& d : spy.Payloads<PageMsgData>(id)) {
      EXPECT_EQ(d.page, 2);
      EXPECT_EQ(d.reserved, 0);
      EXPECT_EQ(d.param1, 0);
      EXPECT_EQ(d.param2, 0);
    }
  }
  EXPECT_EQ(ui->GetCurrentPage(), 2);

  // Kinds 3 and 6 share one cached icon.
  QIcon a = ui->LoadListIcons(3);
  QIcon b = ui->LoadListIcons(6);
  EXPECT_EQ(a.cacheKey(), b.cacheKey());
  platform::SetResourceFolder(std::string());
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
