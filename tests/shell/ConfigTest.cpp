#include <gtest/gtest.h>

#include <QFileInfo>
#include <QSettings>

#include "EraseFolder.h"
#include "ProgramDirFixture.h"
#include "UiConfig.h"

namespace {

TEST(ShellConfig, UserconfigWinsOverUiconfig) {
  ProgramDirFixture env;
  env.Write("uiconfig", "[Main]\nProductName=Shipped\nAutoUpdate=false\n[URL]\nID_LINK_HELP=https://a.example/help\n");
  env.Write("userconfig", "[URL]\nID_LINK_HELP=https://b.example/mine\n");
  QVariant v;
  EXPECT_TRUE(GetConfigValue("URL", "ID_LINK_HELP", &v, "uiconfig"));
  EXPECT_EQ(v.toString(), "https://b.example/mine");
  EXPECT_TRUE(GetConfigValue("Main", "ProductName", &v));
  EXPECT_EQ(v.toString(), "Shipped");
  EXPECT_FALSE(GetConfigValue("URL", "ID_LINK_PRO", &v));
  EXPECT_FALSE(v.isValid());
  EXPECT_FALSE(ReadIniValue("", "ProductName", &v, "uiconfig"));
  EXPECT_FALSE(ReadIniValue("Main", "ProductName", &v, ""));
  EXPECT_EQ(ReadIniValueFromFile(QString::fromStdString(env.Program() + "/uiconfig"), "Main", "ProductName"), "Shipped");
}

TEST(ShellConfig, SetConfigValueWritesTheUserCopyOnly) {
  ProgramDirFixture env;
  env.Write("uiconfig", "[Main]\nDefaultPath=/shipped\n");
  EXPECT_EQ(GetUserConfigPath("userconfig").toStdString(), env.ConfigHome() + "/zqqrt/userconfig");
  EXPECT_FALSE(SetConfigValue("", "k", 1, "userconfig"));
  EXPECT_FALSE(SetConfigValue("g", "", 1, "userconfig"));
  EXPECT_FALSE(SetConfigValue("g", "k", 1, ""));
  EXPECT_FALSE(QFileInfo::exists(GetUserConfigPath("userconfig")));

  EXPECT_TRUE(SetConfigValue("Main", "DefaultPath", "/mine", "userconfig"));
  QSettings copy(GetUserConfigPath("userconfig"), QSettings::IniFormat);
  EXPECT_EQ(copy.value("Main/DefaultPath").toString(), "/mine");
  QVariant v;
  ASSERT_TRUE(GetConfigValue("Main", "DefaultPath", &v));
  EXPECT_EQ(v.toString(), "/shipped");  // the program folder only

  EXPECT_EQ(GetConfigGroupKeys("Main", "userconfig"), QStringList{"DefaultPath"});
  ClearConfigGroup("Main", "userconfig");
  EXPECT_TRUE(GetConfigGroupKeys("Main", "userconfig").isEmpty());
}

TEST(ShellConfig, MainWindowSizeFallsBackToADefault) {
  struct Case {
    const char* file;  // uiconfig text, null for no file
    QSize size;
  } cases[] = {
      {"[Main]\nWinSize=@Size(1100 700)\n", QSize(1100, 700)},
      {"[Main]\nWinSize=1024, 640\n", QSize(1024, 640)},
      {"[Main]\nWinSize=900x600\n", QSize(900, 600)},
      {nullptr, kDefaultMainWinSize},
      {"[Main]\nTreeMinSize=3\n", kDefaultMainWinSize},
      {"[Main]\nWinSize=@Size(0 0)\n", kDefaultMainWinSize},
      {"[Main]\nWinSize=wide\n", kDefaultMainWinSize},
      {"[Main]\nWinSize=@Size(-5 99999)\n", kDefaultMainWinSize},
  };
  for (const Case& c : cases) {
    ProgramDirFixture env;
    if (c.file) env.Write("uiconfig", c.file);
    EXPECT_EQ(GetMainWinSize(), c.size) << (c.file ? c.file : "(no file)");
  }
}

TEST(ShellConfig, DefaultErasePathIsRememberedInTheUserCopy) {
  ProgramDirFixture env;
  env.Write("uiconfig", "[Main]\nDefaultPath=\n");
  int probes = 0;
  SetEraseDriveFinder([&](QString* out) {
    ++probes;
    *out = "/media/big/Tidewell";
    return true;
  });
  EXPECT_EQ(GetDefaultErasePath(), "/media/big/Tidewell");
  EXPECT_EQ(probes, 1);
  QSettings copy(GetUserConfigPath("userconfig"), QSettings::IniFormat);
  EXPECT_EQ(copy.value("DefaultPath/path").toString(), "/media/big/Tidewell");
  env.Write("userconfig", "[Main]\nDefaultPath=/chosen\n");
  EXPECT_EQ(GetDefaultErasePath(), "/chosen");
  EXPECT_EQ(probes, 1);
  SetEraseDriveFinder(nullptr);
}

TEST(ShellConfig, MigrationCopiesRememberedValues) {
  ProgramDirFixture env;
  env.Write("uiconfig", "[Main]\nAutoUpdate=false\nVersionNum=16.8\nBuildNum=3\n[TrayDlg]\nAutoSync=true\n");
  MigrateUserConfig();
  QSettings copy(GetUserConfigPath("userconfig"), QSettings::IniFormat);
  EXPECT_EQ(copy.value("Main/AutoUpdate").toString(), "false");
  EXPECT_EQ(copy.value("TrayDlg/AutoSync").toString(), "true");
  EXPECT_FALSE(copy.contains("Main/DefaultPath"));
  EXPECT_TRUE(ReadConfigVersion("uiconfig"));  // no user copy of uiconfig yet: stale
}

}  // namespace

#include <pwd.h>
#include <unistd.h>

#include "DesktopLinks.h"
#include "DesktopUser.h"

namespace {

TEST(ShellConfig, PerUserCopiesBelongToTheInvokingUser) {
  VT_REQUIRE_ROOT();
  const passwd* nobody = getpwnam("nobody");
  if (!nobody) GTEST_SKIP() << "no user 'nobody' here";
  ProgramDirFixture env;
  setenv("SUDO_USER", "nobody", 1);
  const DesktopUser user = DesktopUser::Find();
  EXPECT_TRUE(user.isOther);
  EXPECT_EQ(user.name, "nobody");
  EXPECT_EQ(user.uid, nobody->pw_uid);
  // Root's own XDG_CONFIG_HOME is not the person's.
  EXPECT_EQ(GetUserConfigDir().toStdString(), std::string(nobody->pw_dir) + "/.config/zqqrt");
  unsetenv("SUDO_USER");
  setenv("PKEXEC_UID", std::to_string(nobody->pw_uid).c_str(), 1);
  EXPECT_EQ(DesktopUser::Find().name, "nobody");
  setenv("PKEXEC_UID", "0", 1);
  EXPECT_FALSE(DesktopUser::Find().isOther);
  unsetenv("PKEXEC_UID");
  EXPECT_EQ(GetUserConfigDir().toStdString(), env.ConfigHome() + "/zqqrt");
}

TEST(ShellConfig, DesktopOpenerRefusesLinksWithoutAWebScheme) {
  EXPECT_FALSE(OpenLinkAsDesktopUser(QUrl("-e touch x", QUrl::TolerantMode)));
  EXPECT_FALSE(OpenLinkAsDesktopUser(QUrl("javascript:alert(1)")));
  EXPECT_FALSE(OpenLink(QUrl()));
}

}  // namespace
