#include "CErasePtProgressDlg.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CHistoryDataBase.h"
#include "CProgressWidget.h"
#include "CRoundBtn.h"
#include "CUIPublic.h"
#include "EraseResult.h"
#include "MsgDefine.h"
#include "ProgressBody.h"
#include "UiHelpers.h"

CErasePtProgressDlg::CErasePtProgressDlg(QWidget* parent)
    : CRunProgressDlg(parent), m_observer(MSG_WIPE_PARTITION_PROGRESS, MSG_WIPE_PARTITION_DONE) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  RegisterMsg(MSG_WIPE_PARTITION_DONE);
  RegisterMsg(MSG_WIPE_PARTITION_PROGRESS);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(460, 250);
  if (parent) CenterOnParent();
  m_methodName = GetAlgorithmName(static_cast<uint>(m_run.Passes()));
  m_run.SetObserver(&m_observer);
  m_run.SetHistoryPath(CHistoryDataBase::DefaultPath());
}

CErasePtProgressDlg::~CErasePtProgressDlg() {
  if (m_started && !m_run.IsFinished()) m_run.Cancel();
  m_run.Join();
}

void CErasePtProgressDlg::SetParams(int sectorsPerChunk, char driveLetter, int diskNumber, uint64_t startSector,
                                    uint64_t sectorCount, int bytesPerSector, uint64_t endSector) {
  m_run.SetParams(sectorsPerChunk, driveLetter, diskNumber, startSector, sectorCount, bytesPerSector, endSector);
  m_sizeText = FormatSizeText(sectorCount * static_cast<quint64>(bytesPerSector > 0 ? bytesPerSector : 0));
}

void CErasePtProgressDlg::InitUI() {
  // The caption names the method the run uses.
  ProgressBody parts =
      BuildProgressBody(tr("Initializing, please wait..."), tr("Data Erasure algorithm:%1").arg(m_methodName));
  QVBoxLayout* body = parts.layout;
  m_status = parts.status;
  m_progress = parts.progress;
  m_progress->GetProgressBar()->setValue(20);
  m_cancel = MakeRoundCancelButton();
  body->addWidget(m_cancel, 0, Qt::AlignRight | Qt::AlignBottom);
  ContentLayout()->addLayout(body);
}

void CErasePtProgressDlg::StartWipe() {
  if (m_started) return;
  m_run.SetPasses(CUIPublic::instance()->GetErasePasses());
  m_methodName = GetAlgorithmName(static_cast<uint>(m_run.Passes()));
  InitUI();
  m_started = true;
  m_run.Start();
}

int CErasePtProgressDlg::ReceiveMsg(__MsgData msg) {
  switch (msg.id) {
    case MSG_TITLE_CLOSE:
      OnCancelWipe();
      break;
    case MSG_WIPE_PARTITION_PROGRESS: {
      if (!m_started || m_done || m_run.IsCancelled()) return 1;
      const auto* data = static_cast<const ProgressMsgData*>(msg.data);
      if (!data) break;
      const quint64 bps = static_cast<quint64>(m_run.BytesPerSector());
      const uint64_t done = m_run.SectorsDone();
      const QString letter = QString(QChar(m_run.DriveLetter()));
      const QString pattern = data->extra1 ? tr("Verifying partition %1: %2/%3") : tr("Wiping partition %1: %2/%3");
      m_status->setText(pattern.arg(letter, FormatSizeText(done * bps), m_sizeText));
      const int percent =
          m_run.SectorCount() ? static_cast<int>(static_cast<double>(done) / static_cast<double>(m_run.SectorCount()) * 100.0)
                              : 0;
      const int passes = m_run.Passes();
      const QString passText = passes == 1 ? tr(" in %1 of %2 pass (%3)") : tr(" in %1 of %2 passes (%3)");
      m_progress->SetText(tr("Wiped %1").arg(percent) + QStringLiteral("%") +
                              passText.arg(data->extra2 + 1).arg(passes).arg(m_methodName),
                          QString(), 3);
      m_progress->GetProgressBar()->setValue(percent);
      break;
    }
    case MSG_WIPE_PARTITION_DONE: {
      // Only the end of this dialog's own run closes it.
      if (!m_started || m_done || !m_run.IsFinished()) break;
      m_done = true;
      m_run.Join();
      m_result = m_run.Result();
      QTimer::singleShot(1, this, [this] {
        done(0);
        close();
      });
      break;
    }
    default:
      break;
  }
  return 0;
}
