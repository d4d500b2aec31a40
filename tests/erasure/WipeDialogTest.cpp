// The partition wipe's progress dialog over a volume that is a window of an
// image file (no root needed), with the format left out: its texts per pass
// count, the bus messages, cancel through Escape.
#include <gtest/gtest.h>

#include <QLabel>
#include <QtTest/QTest>

#include <chrono>
#include <thread>

#include "BusSpy.h"
#include "CErasePtProgressDlg.h"
#include "CProgressWidget.h"
#include "CRoundBtn.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "EraseUiTestSupport.h"
#include "TestUtil.h"
#include "UiHelpers.h"
#include "WipeTestSupport.h"

using eraseui::AnswerOf;
using eraseui::UiEnv;

namespace {

constexpr uint64_t kStart = 2048, kCount = 10000;

class WipeDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    m_disk = std::make_unique<wipetest::ImageDisk>(m_dir.file("disk.img"), kStart + kCount + 2048, 5);
    ASSERT_GE(m_disk->Number(), 0);
    m_letter = m_disk->Register(kStart, kCount);
    ASSERT_NE(m_letter, 0);
  }
  void Prepare(CErasePtProgressDlg& dlg) {
    dlg.SetParams(8192, m_letter, m_disk->Number(), kStart, kCount, 512, kStart + kCount);
    dlg.Run().SetFormatter(nullptr);
  }

  testutil::TempDir m_dir{"wipedlg"};
  std::unique_ptr<wipetest::ImageDisk> m_disk;
  char m_letter = 0;
};

TEST_F(WipeDialog, ShowsPassesAndMethodAndEndsWithTheRunsResult) {
  UiEnv env;
  struct Case {
    int passes;
    const char* method;
    const char* passText;
    size_t progressMessages;  // three chunks per pass, three more for the read-back
    const char* status;
  } cases[] = {
      {1, "HMG Infosec Standard 5", " in 1 of 1 pass (HMG Infosec Standard 5)", 3, "Wiping partition "},
      {3, "U.S Army AR380-19", " in 3 of 3 passes (U.S Army AR380-19)", 12, "Verifying partition "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.passes);
    CUIPublic::instance()->SetErasePasses(c.passes);
    testutil::BusSpy spy{MSG_WIPE_PARTITION_PROGRESS, MSG_WIPE_PARTITION_DONE};
    CErasePtProgressDlg dlg(env.Window());
    Prepare(dlg);
    EXPECT_EQ(dlg.SizeText(), FormatSizeText(kCount * 512));
    dlg.StartWipe();
    EXPECT_EQ(dlg.Progress()->LeftCaption()->text(), QStringLiteral("Data Erasure algorithm:%1").arg(c.method));
    dlg.exec();
    EXPECT_TRUE(dlg.IsDone());
    EXPECT_EQ(dlg.GetResult(), ERASE_COMPLETED);
    EXPECT_EQ(spy.Values(MSG_WIPE_PARTITION_PROGRESS).size(), c.progressMessages);
    EXPECT_EQ(spy.Values(MSG_WIPE_PARTITION_DONE), std::vector<int32_t>{100});
    const QString left = dlg.Progress()->LeftCaption()->text();
    EXPECT_TRUE(left.startsWith(QStringLiteral("Wiped ")) && left.endsWith(QString::fromUtf8(c.passText)))
        << left.toStdString();
    const QString status = dlg.StatusLabel()->text();
    EXPECT_TRUE(status.startsWith(QString::fromUtf8(c.status) + QChar(m_letter) + QStringLiteral(": ")) &&
                status.endsWith(QStringLiteral("/") + dlg.SizeText()))
        << status.toStdString();
  }
  CUIPublic::instance()->SetErasePasses(1);
}

TEST_F(WipeDialog, EscapeCancelsAndTheDialogWaitsForTheRun) {
  UiEnv env;
  wipetest::WriteLog unused;
  wipetest::WriterSeam restore(&unused);  // puts the default writer back at the end
  CErasePtProgressDlg dlg(env.Window());
  Prepare(dlg);
  // The first write waits until the cancel has been asked for.
  std::atomic<int>& cancel = dlg.Run().CancelFlag();
  SetMountDriverOpener([&cancel](int disk, uint32_t* error) -> std::unique_ptr<IMountDriverWriter> {
    class Waiting : public wipetest::RecordingWriter {
     public:
      Waiting(wipetest::WriteLog* l, std::atomic<int>& c) : RecordingWriter(512, l), m_cancel(c) {}
      uint64_t WriteSectors(const void* b, uint64_t f, uint64_t n) override {
        for (int i = 0; i < 1000 && !m_cancel.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return RecordingWriter::WriteSectors(b, f, n);
      }
      std::atomic<int>& m_cancel;
    };
    static wipetest::WriteLog waitLog;
    auto w = std::make_unique<Waiting>(&waitLog, cancel);
    *error = w->Open(disk) ? 0 : 2;
    return *error ? nullptr : std::move(w);
  });
  dlg.StartWipe();
  AnswerOf<CErasePtProgressDlg>([](CErasePtProgressDlg* d) {
    QTest::keyClick(d, Qt::Key_Escape);
    EXPECT_EQ(d->StatusLabel()->text(), QStringLiteral("Canceling erasure, please wait..."));
    EXPECT_TRUE(d->CancelButton()->isHidden());
  });
  dlg.exec();
  EXPECT_TRUE(dlg.IsDone());
  EXPECT_EQ(dlg.GetResult(), ERASE_PARTITION_CANCELLED);
}

}  // namespace
