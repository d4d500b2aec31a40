#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QMap>

#include "ErrorIniFiles.h"
#include "FileTypeIcons.h"
#include "ProgramDirFixture.h"
#include "UiHelpers.h"
#include "UpdateProbe.h"
#include "WindowPlacement.h"

namespace {

TEST(ShellHelpers, TextFormats) {
  struct SizeCase {
    quint64 bytes;
    const char* text;
  } sizes[] = {
      {0, ""},
      {512, "0.50 KB"},
      {1024, "1.00 KB"},
      {1048576, "1024.00 KB"},
      {1048577, "1.00 MB"},
      {1073741824ull, "1024.00 MB"},
      {1073741825ull, "1.00 GB"},
      {5ull * 1073741824ull * 1024ull, "5120.00 GB"},
  };
  for (const auto& c : sizes) EXPECT_EQ(FormatSizeText(c.bytes).toStdString(), c.text) << c.bytes;

  struct NameCase {
    uint passes;
    const char* name;
  } names[] = {{1, "HMG Infosec Standard 5"}, {2, "HMG Infosec Standard 5"}, {3, "U.S Army AR380-19"},
               {7, "DoD 5220.22-M ECE"},      {35, "Peter Gutmann's algorithm"}, {0, "HMG Infosec Standard 5"}};
  for (const auto& c : names) EXPECT_EQ(GetAlgorithmName(c.passes).toStdString(), c.name) << c.passes;

  struct PathCase {
    const char* in;
    const char* out;
  };
  for (const PathCase& c : {PathCase{"D:/", "D:/"}, PathCase{"D:/a/b.txt", "b.txt"}, PathCase{"/home/a/c", "c"},
                            PathCase{"plain", "plain"}, PathCase{"/ab", "/ab"}})
    EXPECT_EQ(GetFileNameFromPath(QString::fromLatin1(c.in)).toStdString(), c.out) << c.in;
  for (const PathCase& c : {PathCase{"C:\\x\\app.exe", "app"}, PathCase{"a.ex", ""}, PathCase{"b.exe", "b"},
                            PathCase{"/opt/tool/run.bin", "run"}, PathCase{"C:\\x\\", ""}})
    EXPECT_EQ(GetExeBaseName(c.in), c.out) << c.in;
  for (const PathCase& c : {PathCase{"\"C:\\Program Files\\x.exe\",0", "C:\\Program Files\\x.exe"},
                            PathCase{"C:\\y.dll,-101", "C:\\y.dll"}, PathCase{"\"a\"b\"", "a"}, PathCase{"", ""}})
    EXPECT_EQ(StripIconPath(c.in), c.out) << c.in;
  for (const PathCase& c : {PathCase{"C:\\x\\app.exe", "C:\\x"}, PathCase{"none", "none"}})
    EXPECT_EQ(GetParentFolder(c.in), c.out) << c.in;

  EXPECT_EQ(StripTrailingChar("abc/", '/', false), "abc");
  EXPECT_EQ(StripTrailingChar("ab\\/", '/', true), "ab");
  EXPECT_EQ(StripTrailingChar("ab\\", '/', true), "ab\\");
  EXPECT_EQ(StripTrailingBackslash("C:\\dir\\\\"), "C:\\dir\\");
  EXPECT_TRUE(IsUncPath("\\\\server\\share"));
  EXPECT_FALSE(IsUncPath("\\"));
  EXPECT_FALSE(IsUncPath("C:\\"));
}

// The main window keeps its size where the screen has room, else takes the
// screen's; either way it lies wholly on the screen.
TEST(ShellHelpers, WindowFitsIntoTheScreensAvailableArea) {
  const QSize preferred(1250, 660);
  struct Case {
    QRect screen;
    QRect placed;
  } cases[] = {
      {QRect(0, 0, 1920, 1080), QRect(335, 210, 1250, 660)},
      {QRect(0, 0, 1280, 800), QRect(15, 70, 1250, 660)},
      {QRect(0, 0, 1024, 768), QRect(0, 54, 1024, 660)},
      {QRect(0, 0, 800, 600), QRect(0, 0, 800, 600)},
      // A panel on the left, a second screen to the right of the first.
      {QRect(64, 0, 960, 740), QRect(64, 40, 960, 660)},
      {QRect(1920, 0, 1024, 768), QRect(1920, 54, 1024, 660)},
  };
  for (const Case& c : cases) {
    const QRect placed = FitIntoScreen(preferred, c.screen);
    EXPECT_EQ(placed, c.placed) << c.screen.width() << "x" << c.screen.height();
    EXPECT_TRUE(c.screen.contains(placed));
  }
}

// Dialogs centre over their window; over a window the user sees whole they
// stay on the screen, over one partly off it they simply centre.
TEST(ShellHelpers, DialogsCentreOverTheirWindow) {
  const QRect screen(0, 0, 1024, 768);
  struct Case {
    QSize size;
    QRect anchor;
    QPoint corner;
  } cases[] = {
      {QSize(424, 244), QRect(0, 54, 1024, 660), QPoint(300, 262)},
      {QSize(660, 540), QRect(100, 100, 400, 300), QPoint(0, 0)},      // larger than the window
      {QSize(424, 244), QRect(900, 600, 300, 300), QPoint(838, 628)},  // window partly off screen
      {QSize(424, 244), QRect(0, 0, 1024, 768), QPoint(300, 262)},     // the screen itself
  };
  for (const Case& c : cases)
    EXPECT_EQ(CenteredOver(c.size, c.anchor, screen), c.corner) << c.anchor.x() << "," << c.anchor.y();
}

TEST(ShellHelpers, ResolveRelativeToParentDir) {
  EXPECT_TRUE(ResolveRelativeToParentDir(QString()).isEmpty());
  const QString cwd = QDir::currentPath();
  const QString parent = cwd.left(cwd.lastIndexOf('/') + 1);
  EXPECT_EQ(ResolveRelativeToParentDir("../../string/a.ini"), parent + "string/a.ini");
}

TEST(ShellHelpers, ErrorTexts) {
  testutil::TempDir dir("errtext");
  const ErrorIniFiles none(QString::fromStdString(dir.file("missing1.ini")), QString::fromStdString(dir.file("missing2.ini")));
  EXPECT_TRUE(FormatErrorText(7, none).isEmpty());
  EXPECT_TRUE(FormatErrorText(0x30007, none).isEmpty());
  EXPECT_EQ(FormatErrorText(0x1F4, none), "(0x1f4): Operation failed. Please check the settings and try again.");

  testutil::WriteFile(dir.file("errorindex.ini"), "[Code]\nQRT_ERR_CODE(0x1f4) = ERR_DISK_BUSY\n");
  testutil::WriteFile(dir.file("error_zq.ini"), "[other]\nERR_DISK_BUSY=wrong\n[error]\nerr_disk_busy=The disk is busy.\n");
  const ErrorIniFiles files(QString::fromStdString(dir.file("errorindex.ini")), QString::fromStdString(dir.file("error_zq.ini")));
  EXPECT_EQ(FormatErrorText(0x7E01F4, files), "(0x7e01f4): The disk is busy.");
  EXPECT_EQ(FormatErrorText(0x1F5, files), "(0x1f5): Operation failed. Please check the settings and try again.");
}

TEST(ShellHelpers, FolderSizeCountsVisibleFilesOnceWithoutFollowingLinks) {
  testutil::TempDir dir("fsize");
  const std::string root = dir.file("tree");
  QDir().mkpath(QString::fromStdString(root + "/sub/deeper"));
  QDir().mkpath(QString::fromStdString(root + "/.hiddendir"));
  testutil::WriteFile(root + "/a.bin", std::string(1000, 'a'));
  testutil::WriteFile(root + "/.hidden", std::string(500, 'h'));
  testutil::WriteFile(root + "/sub/b.bin", std::string(200, 'b'));
  testutil::WriteFile(root + "/sub/deeper/c.bin", std::string(30, 'c'));
  testutil::WriteFile(root + "/.hiddendir/d.bin", std::string(7, 'd'));
  testutil::WriteFile(dir.file("outside.bin"), std::string(100000, 'o'));
  // A loop back to the top and links to things outside the tree.
  ASSERT_EQ(symlink(root.c_str(), (root + "/sub/deeper/loop").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("outside.bin").c_str(), (root + "/link.bin").c_str()), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), (root + "/up").c_str()), 0);

  EXPECT_EQ(GetFolderSize(QString::fromStdString(root), true), 1230u);
  EXPECT_EQ(GetFolderSize(QString::fromStdString(dir.file("nothing")), true), 0u);

  // Not a folder: the folder of the executable the command names.
  const std::string exe = root + "/sub/tool";
  testutil::WriteFile(exe, std::string(70, 'x'));
  ASSERT_EQ(chmod(exe.c_str(), 0755), 0);
  EXPECT_EQ(GetExecutableFolder(QString::fromStdString("\"" + exe + "\"")).toStdString(), root + "/sub");
  EXPECT_EQ(GetFolderSize(QString::fromStdString("\"" + exe + "\""), false), 300u);
  EXPECT_EQ(GetFolderSize(QString::fromStdString(root + "/a.bin"), false), 0u);  // not executable
}

TEST(ShellHelpers, StateIconsKeepOneImagePerState) {
  testutil::TempDir dir("icons");
  QVector<QString> files;
  const QColor colors[] = {Qt::red, Qt::green, Qt::blue, Qt::gray};
  for (int i = 0; i < 4; ++i) {
    QImage image(6, 4, QImage::Format_ARGB32);
    image.fill(colors[i]);
    const QString path = QString::fromStdString(dir.file("s" + std::to_string(i) + ".png"));
    ASSERT_TRUE(image.save(path));
    files.append(path);
  }
  const QIcon icon = MakeStateIcon(files);
  EXPECT_EQ(GetIconActualSize(icon), QSize(6, 4));
  for (int state = 0; state < 4; ++state) {
    for (QIcon::State onOff : {QIcon::Off, QIcon::On}) {
      const QImage shown = icon.pixmap(QSize(6, 4), StateIconMode(state), onOff).toImage();
      EXPECT_EQ(shown.pixelColor(2, 2), colors[state]) << "state " << state;
    }
  }
}

TEST(ShellHelpers, FileTypeIconsAndUpdateLibrary) {
  EXPECT_EQ(FileTypeIconKey("notes.txt"), ".txt");
  EXPECT_EQ(FileTypeIconKey("archive.backup"), ".UnknownExt");
  EXPECT_EQ(FileTypeIconKey("x.zzqqj"), ".UnknownExt");
  EXPECT_FALSE(GetFileTypeName(".txt").isEmpty());

  QMap<QString, QIcon> cache;
  for (int i = 0; i < kMaxFileTypeIcons + 1; ++i) cache.insert(QString("!%1").arg(i, 4, 10, QChar('0')), QIcon());
  GetCachedFileTypeIcon(&cache, "a.txt");
  EXPECT_EQ(cache.size(), kMaxFileTypeIcons + 1);
  EXPECT_FALSE(cache.contains("!0000"));
  EXPECT_TRUE(cache.contains(".txt"));
  GetCachedFileTypeIcon(&cache, "b.txt");
  EXPECT_EQ(cache.size(), kMaxFileTypeIcons + 1);

  EXPECT_EQ(QueryUpdateAvailable("https://x.example/u.ini", 2, 6, nullptr, nullptr, nullptr, nullptr, 260), -1);
}

}  // namespace
