#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMovie>
#include <QRegularExpression>
#include <QSettings>

#include "AppStyle.h"

namespace {

// The widgets load "./Resources/..." and "./QSS/..." from the working
// directory: run the widget tests from the program folder of the build.
class ProgramFolderCwd : public ::testing::Environment {
 public:
  void SetUp() override { QDir::setCurrent(QStringLiteral(VANTOREL_BIN_DIR)); }
};
const auto* const kCwd = ::testing::AddGlobalTestEnvironment(new ProgramFolderCwd);

TEST(ShellResources, EveryImageTheShellNamesIsShipped) {
  struct Image {
    const char* path;
    QSize size;
  } images[] = {
      {"Logo.ico", {32, 32}},
      {"logo.png", {32, 32}},
      {"About.png", {64, 64}},
      {"loading.png", {600, 370}},
      {"Success.png", {64, 64}},
      {"tip_warnning.png", {64, 64}},
      {"close1_normal.png", {20, 20}},
      {"close1_hover.png", {20, 20}},
      {"close1_press.png", {20, 20}},
      {"close1_disable.png", {20, 20}},
      {"btns/btn_pri.png", {96, 26}},
      {"btns/btn_pri_hover.png", {96, 26}},
      {"btns/btn_pri_press.png", {96, 26}},
      {"btns/btn_pri_disable.png", {96, 26}},
      {"btns/btn_sec.png", {96, 26}},
      {"btns/btn_sec_hover.png", {96, 26}},
      {"btns/btn_sec_press.png", {96, 26}},
      {"btns/btn_sec_disable.png", {96, 26}},
      {"arrow_ascending.png", {10, 10}},
      {"arrow_descending.png", {10, 10}},
      {"checkbox_no.png", {14, 14}},
      {"checkbox_semi_election.png", {14, 14}},
      {"checkbox_yes.png", {14, 14}},
      {"TreeBk.png", {8, 8}},
      {"icon_search.png", {24, 24}},
      {"Line.png", {150, 2}},
      {"Installer.png", {24, 24}},
      {"btn_uninstall.png", {130, 50}},
      {"btn_uninstall_hover.png", {130, 50}},
      {"btn_uninstall_press.png", {130, 50}},
      {"btn_uninstall_disable.png", {130, 50}},
      {"list_computer.png", {24, 24}},
      {"list_cloud_hover.png", {24, 24}},
      {"list_ftp_hover.png", {24, 24}},
  };
  for (const Image& i : images) {
    const QString path = QStringLiteral("./Resources/") + QString::fromLatin1(i.path);
    QImage image(path);
    ASSERT_FALSE(image.isNull()) << i.path;
    EXPECT_EQ(image.size(), i.size) << i.path;
  }
  // The state images of one button differ from each other.
  EXPECT_NE(QImage("./Resources/close1_normal.png"), QImage("./Resources/close1_hover.png"));
  EXPECT_NE(QImage("./Resources/btns/btn_pri.png"), QImage("./Resources/btns/btn_pri_press.png"));
}

// The internet-traces page shows the icon ResIDText.xml names beside each
// browser and category.
TEST(ShellResources, EveryTraceIconIsShipped) {
  QFile file(QStringLiteral("./ResIDText.xml"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  QRegularExpression icon(QStringLiteral("icon=\"([^\"]+)\""));
  int count = 0;
  for (auto it = icon.globalMatch(text); it.hasNext(); ++count) {
    const QString name = it.next().captured(1);
    const QImage image(QStringLiteral("./Resources/") + name);
    ASSERT_FALSE(image.isNull()) << name.toStdString();
    EXPECT_EQ(image.size(), QSize(16, 16)) << name.toStdString();
  }
  EXPECT_GT(count, 10);
  EXPECT_NE(QImage("./Resources/traces_firefox.png"), QImage("./Resources/traces_chromium.png"));
}

TEST(ShellResources, AnimationsPlay) {
  for (const char* name : {"./Resources/Programloading.gif", "./Resources/loading.gif"}) {
    QMovie movie(QString::fromLatin1(name));
    ASSERT_TRUE(movie.isValid()) << name;
    EXPECT_EQ(movie.frameCount(), 12) << name;
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(movie.jumpToNextFrame()) << name << " frame " << i;
    const QImage frame = movie.currentImage();
    EXPECT_FALSE(frame.isNull());
    // Blue arc on white: both colours appear in a frame.
    bool blue = false, white = false;
    for (int y = 0; y < frame.height(); ++y)
      for (int x = 0; x < frame.width(); ++x) {
        const QColor c = frame.pixelColor(x, y);
        blue |= c.blue() > 200 && c.red() < 60;
        white |= c == Qt::white;
      }
    EXPECT_TRUE(blue && white) << name;
  }
}

TEST(ShellResources, SettingsFilesAndStyleSheets) {
  QSettings ui("./uiconfig", QSettings::IniFormat);
  for (const char* key : {"Main/WinSize", "Main/TreeMinSize", "Main/ProductName", "Main/AutoUpdate", "Main/VersionNum",
                          "Main/BuildNum", "URL/ID_LINK_HELP", "URL/ID_LINK_SUPPORT", "URL/ID_LINK_PRO",
                          "URL/ID_LINK_UPGRADE", "URL/ID_LINK_UPGRADE_INI", "URL/ID_LINK_FACEBOOK",
                          "URL/ID_LINK_TWITTER", "URL/ID_LINK_GOOLE", "TrayDlg/AutoSync"})
    EXPECT_TRUE(ui.contains(QString::fromLatin1(key))) << key;
  EXPECT_EQ(ui.value("Main/WinSize").toSize(), QSize(1000, 660));
  QSettings data("./Config.dat", QSettings::IniFormat);
  EXPECT_EQ(data.value("register/bRevise").toInt(), 1);
  for (const char* qss : {"./QSS/kd.qss", "./QSS/vscrollbar.qss", "./QSS/hscrollbar.qss"})
    EXPECT_GT(QFileInfo(QString::fromLatin1(qss)).size(), 0) << qss;
  EXPECT_TRUE(BuildStyleSheet().startsWith(QString::fromLatin1(kBaseStyleRule)));
  EXPECT_GT(BuildStyleSheet().size(), int(strlen(kBaseStyleRule)));
}

}  // namespace
