#include "CEraseFreeSpaceProgressDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CHistoryDataBase.h"
#include "CProgressWidget.h"
#include "CRoundBtn.h"
#include "CUIPublic.h"
#include "EraseResult.h"
#include "MsgDefine.h"
#include "UiHelpers.h"

CEraseFreeSpaceProgressDlg::CEraseFreeSpaceProgressDlg(QWidget* parent) : CRunProgressDlg(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  RegisterMsg(MSG_WIPE_FREESPACE_DONE);
  RegisterMsg(MSG_WIPE_FREESPACE_START);
  RegisterMsg(MSG_WIPE_FREESPACE_PROGRESS);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(460, 240);
  if (parent) CenterOnParent();
  m_run.SetObserver(&m_observer);
  m_run.SetHistoryPath(CHistoryDataBase::DefaultPath());
}

CEraseFreeSpaceProgressDlg::~CEraseFreeSpaceProgressDlg() {
  if (m_started && !m_done) m_run.Cancel();
  m_run.Join();
}

void CEraseFreeSpaceProgressDlg::SetPartition(char driveLetter, int diskNumber, uint64_t startSector) {
  m_letter = driveLetter;
  m_diskNumber = diskNumber;
  m_startSector = startSector;
}

void CEraseFreeSpaceProgressDlg::SetFileSystem(EFileSystemType type, bool multiExtent) {
  m_type = type;
  m_run.SetMultiExtent(multiExtent);
}

void CEraseFreeSpaceProgressDlg::CalcSizeUnit(uint64_t bytes, double* value, QString* unit) {
  if (bytes >= 1073741824ull) {
    *unit = QStringLiteral("GB");
    *value = static_cast<double>(bytes) / 1073741824.0;
  } else if (bytes > 1048576ull) {
    *unit = QStringLiteral("MB");
    *value = static_cast<double>(bytes) / 1048576.0;
  } else {
    *unit = QStringLiteral("KB");
    *value = static_cast<double>(bytes) / 1024.0;
  }
}

void CEraseFreeSpaceProgressDlg::InitUI() {
  auto* body = new QVBoxLayout;
  body->setContentsMargins(20, 20, 20, 0);
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(410);
  body->addWidget(keeper);
  auto* statusRow = new QHBoxLayout;
  statusRow->addItem(new QSpacerItem(10, 0, QSizePolicy::Fixed, QSizePolicy::Expanding));
  m_status = new QLabel(tr("Ready to erase, please wait..."));
  m_status->setFixedWidth(410);
  SetWidgetFont(m_status, 14);
  SetWidgetTextColor(m_status, QColor(51, 51, 51));
  statusRow->addWidget(m_status);
  body->addLayout(statusRow);
  m_progress = new CProgressWidget;
  m_progress->SetShowPercent(false);
  m_progress->SetText(QString(), QString(), 3);
  m_progress->GetProgressBar()->setValue(0);
  body->addWidget(m_progress);
  body->addItem(new QSpacerItem(0, 60, QSizePolicy::Fixed, QSizePolicy::Fixed));
  m_cancel = MakeRoundCancelButton();
  body->addWidget(m_cancel, 0, Qt::AlignRight | Qt::AlignBottom);
  m_content->addLayout(body);
}

void CEraseFreeSpaceProgressDlg::StartWipe() {
  if (m_started) return;
  InitUI();
  m_run.SetVolume(m_letter, m_type);
  m_run.SetPasses(CUIPublic::instance()->GetErasePasses());
  m_started = true;
  m_run.Start();
}

int CEraseFreeSpaceProgressDlg::ReceiveMsg(__MsgData msg) {
  switch (msg.id) {
    case MSG_TITLE_CLOSE:
      OnCancelWipe();
      break;
    case MSG_WIPE_FREESPACE_START:
      if (!m_started || m_done) break;
      m_status->setText(tr("Initializing, please wait..."));
      m_progress->GetProgressBar()->setValue(1);
      break;
    case MSG_WIPE_FREESPACE_PROGRESS: {
      if (!m_started || m_done || m_run.IsCancelled()) return 1;
      const auto* data = static_cast<const ProgressMsgData*>(msg.data);
      const int pass = data ? data->extra2 : 0;
      const uint64_t written = m_observer.BytesWritten();
      const uint64_t freeBytes = m_observer.FreeBytes();
      double value = 0;
      QString unit;
      CalcSizeUnit(freeBytes, &value, &unit);
      const int percent = freeBytes == 0 || written >= freeBytes ? 100 : static_cast<int>(written * 100 / freeBytes);
      m_status->setText(tr("Wiping free space of partition %1: %2/%3%4")
                            .arg(QChar(m_letter))
                            .arg(FormatSizeText(written))
                            .arg(value, 0, 'f', 2)
                            .arg(unit));
      const int passes = m_run.Passes();
      const QString method = GetAlgorithmName(static_cast<uint>(passes));
      QString left = tr("Wiped %1").arg(percent) + QStringLiteral("%");
      left += passes == 1 ? tr(" in %1 of %2 pass (%3)").arg(pass + 1).arg(passes).arg(method)
                          : tr(" in %1 of %2 passes (%3)").arg(pass + 1).arg(passes).arg(method);
      m_progress->SetText(left, QString(), 3);
      m_progress->GetProgressBar()->setValue(percent);
      if (m_cancel && !m_cancel->isVisible() && !m_run.IsCancelled()) m_cancel->show();
      break;
    }
    case MSG_WIPE_FREESPACE_DONE: {
      // A done message of another run is not taken for ours.
      if (!m_started || m_done || !m_run.IsFinished()) break;
      m_done = true;
      m_run.Join();
      m_result = m_run.Result();
      done(0);
      close();
      break;
    }
    default:
      break;
  }
  return 0;
}
