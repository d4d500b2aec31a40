// The readers under the program list: desktop entries and associations,
// AppStream metainfo, exported icons, Flatpak links, and the record's caps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <string>

#include "DesktopEntry.h"
#include "DpkgDatabase.h"
#include "FlatpakApps.h"
#include "InstalledApp.h"
#include "TestUtil.h"

namespace {

void Write(const std::string& path, const std::string& text) {
  QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
  testutil::WriteFile(path, text);
}

TEST(AppRecords, DesktopEntryVisibility) {
  struct Case {
    const char* text;
    bool visible;
    const char* name;
  } cases[] = {
      {"[Desktop Entry]\nType=Application\nName=Edit\\sor\nIcon=ed\n", true, "Edit or"},
      {"# c\n[Desktop Entry]\nType=Application\nName[de]=Bearbeiter\nName=Éditeur Ω\n", true, "Éditeur Ω"},
      {"[Desktop Entry]\nType=Application\nName=X\nNoDisplay=true\n", false, "X"},
      {"[Desktop Entry]\nType=Application\nName=X\nHidden=true\n", false, "X"},
      {"[Desktop Entry]\nType=Link\nName=X\n", false, "X"},
      {"[Desktop Entry]\nType=Application\n", false, ""},
      // Keys of other groups are not the entry's.
      {"[Desktop Entry]\nType=Application\nName=Main\n[Desktop Action new]\nName=Other\nNoDisplay=true\n", true,
       "Main"},
  };
  testutil::TempDir dir("desktop");
  int i = 0;
  for (const Case& c : cases) {
    const std::string path = dir.file("e" + std::to_string(i++) + ".desktop");
    Write(path, c.text);
    DesktopEntry entry;
    ASSERT_TRUE(ReadDesktopEntry(QString::fromStdString(path), &entry)) << c.text;
    EXPECT_EQ(entry.IsVisibleApplication(), c.visible) << c.text;
    EXPECT_EQ(entry.name.toStdString(), c.name) << c.text;
  }
  // Subfolders join the id with "-"; files of other kinds are no entries.
  Write(dir.file("kde/tool.desktop"), "[Desktop Entry]\nType=Application\nName=T\n");
  Write(dir.file("notes.txt"), "[Desktop Entry]\nName=N\n");
  QStringList ids;
  for (const DesktopEntry& e : ListDesktopEntries(QString::fromStdString(dir.path()))) ids << e.id;
  EXPECT_EQ(ids.join(' ').toStdString(),
            "e0.desktop e1.desktop e2.desktop e3.desktop e4.desktop e5.desktop "
            "e6.desktop kde-tool.desktop");
}

TEST(AppRecords, MimeAppsAssociations) {
  testutil::TempDir dir("mime");
  Write(dir.file("mimeapps.list"),
        "[Default Applications]\ntext/plain=a.desktop;b.desktop;\n\n[Added Associations]\nimage/png=b.desktop\n");
  std::string all;
  for (const MimeAssociation& a : ReadMimeAppsList(QString::fromStdString(dir.file("mimeapps.list"))))
    all += (a.group + "|" + a.mimeType + "|" + a.desktopId + "\n").toStdString();
  EXPECT_EQ(all,
            "Default Applications|text/plain|a.desktop\nDefault Applications|text/plain|b.desktop\n"
            "Added Associations|image/png|b.desktop\n");
}

TEST(AppRecords, TextsAreCutToTheirCapsAtCharacterBoundaries) {
  InstalledApp app;
  app.name = QString(150, QChar(0x00E9));  // 2 bytes each
  app.publisher = QString(60, QLatin1Char('p'));
  app.version = QStringLiteral("1.0") + QString(40, QChar(0x20AC));  // 3 bytes each
  app.installLocation = QStringLiteral("/opt/") + QString(300, QLatin1Char('x'));
  app.backgroundColour = QStringLiteral("#0077d7ff00");
  CutToFieldSizes(&app);
  EXPECT_EQ(app.name, QString(49, QChar(0x00E9)));
  EXPECT_EQ(app.publisher.toUtf8().size(), 49);
  EXPECT_EQ(app.version, QStringLiteral("1.0") + QString(8, QChar(0x20AC)));
  EXPECT_EQ(app.installLocation.toUtf8().size(), 259);
  EXPECT_EQ(app.backgroundColour, QStringLiteral("#0077d7ff"));
  EXPECT_EQ(CutUtf8Text(QStringLiteral("L") + QString(149, QChar(0x00E9)), 99).toUtf8().size(), 99);

  EXPECT_EQ(DpkgDatabase::MaintainerName(QStringLiteral("Jürgen Äbel <j@example.org>")), QStringLiteral("Jürgen Äbel"));
  EXPECT_EQ(DpkgDatabase::MaintainerName(QStringLiteral("Team")), QStringLiteral("Team"));
}

TEST(AppRecords, AppStreamMetainfo) {
  struct Case {
    const char* xml;
    bool ok;
    const char* name;
    const char* developer;
    const char* version;
  } cases[] = {
      {"<component><id>a.b.C</id><name xml:lang='de'>Hallo</name><name>Hello Wörld</name>"
       "<developer_name>Nvt Labs</developer_name><releases><release version='2.3.1'/><release version='2.3.0'/>"
       "</releases></component>",
       true, "Hello Wörld", "Nvt Labs", "2.3.1"},
      {"<component><name>Bare</name><developer id='x'><name>Bare Team</name></developer></component>", true, "Bare",
       "Bare Team", ""},
      {"<components><component><name>First</name></component><component><name>Second</name></component>"
       "</components>",
       true, "First", "", ""},
      {"<html><name>No</name></html>", false, "", "", ""},
      {"<component><name>broken", false, "", "", ""},
  };
  testutil::TempDir dir("appstream");
  for (const Case& c : cases) {
    Write(dir.file("m.xml"), c.xml);
    AppStreamInfo info;
    ASSERT_EQ(ReadAppStream(QString::fromStdString(dir.file("m.xml")), &info), c.ok) << c.xml;
    EXPECT_EQ(info.name.toStdString(), c.name) << c.xml;
    EXPECT_EQ(info.developer.toStdString(), c.developer) << c.xml;
    EXPECT_EQ(info.version.toStdString(), c.version) << c.xml;
  }
}

TEST(AppRecords, LargestExportedIcon) {
  testutil::TempDir dir("icons");
  const std::string icons = dir.file("icons");
  for (const char* f : {"hicolor/64x64/apps/a.png", "hicolor/128x128/apps/a.png", "hicolor/32x32@2/apps/a.png",
                        "hicolor/symbolic/apps/a.svg"})
    Write(icons + "/" + f, "x");
  EXPECT_EQ(LargestIcon(QString::fromStdString(icons)).toStdString(), icons + "/hicolor/128x128/apps/a.png");
  Write(icons + "/hicolor/64x64@4/apps/a.png", "x");
  EXPECT_EQ(LargestIcon(QString::fromStdString(icons)).toStdString(), icons + "/hicolor/64x64@4/apps/a.png");
  Write(icons + "/hicolor/scalable/apps/a.svg", "x");
  EXPECT_EQ(LargestIcon(QString::fromStdString(icons)).toStdString(), icons + "/hicolor/scalable/apps/a.svg");
  EXPECT_TRUE(LargestIcon(QString::fromStdString(dir.file("none"))).isEmpty());
}

// Flatpak's "current" and "active" links are followed only while they stay
// inside their installation.
TEST(AppRecords, FlatpakLinksStayInsideTheInstallation) {
  testutil::TempDir dir("fplinks");
  const std::string top = QFileInfo(QString::fromStdString(dir.path())).canonicalFilePath().toStdString();
  const std::string inst = top + "/inst";
  // app/<id>/current -> x86_64/stable -> `link`, a folder holding active/.
  auto deploy = [&](const std::string& app, const std::string& link, const std::string& real) {
    Write(real + "/0a1b/files/share/x", "x");
    ASSERT_EQ(symlink("0a1b", (real + "/active").c_str()), 0);
    QDir().mkpath(QString::fromStdString(inst + "/app/" + app + "/x86_64"));
    ASSERT_EQ(symlink("x86_64/stable", (inst + "/app/" + app + "/current").c_str()), 0);
    ASSERT_EQ(symlink(link.c_str(), (inst + "/app/" + app + "/x86_64/stable").c_str()), 0);
  };
  deploy("org.nvt.In", "real", inst + "/app/org.nvt.In/x86_64/real");
  deploy("org.nvt.Out", top + "/outside", top + "/outside");
  deploy("org.nvt.Up", "../../../../outside2", top + "/outside2");

  const FlatpakInstallation installation{QString::fromStdString(inst), AppInstallation::User};
  EXPECT_EQ(FlatpakDeployment(installation, "org.nvt.In").toStdString(), inst + "/app/org.nvt.In/x86_64/real/0a1b");
  EXPECT_TRUE(FlatpakDeployment(installation, "org.nvt.Out").isEmpty());
  EXPECT_TRUE(FlatpakDeployment(installation, "org.nvt.Up").isEmpty());
  EXPECT_TRUE(FlatpakDeployment(installation, "..").isEmpty());
  QStringList ids;
  for (const InstalledApp& app : ReadFlatpakApps(installation)) ids << app.packageId;
  EXPECT_EQ(ids, QStringList{"org.nvt.In"});
}

}  // namespace
