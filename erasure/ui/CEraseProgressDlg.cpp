#include "CEraseProgressDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CHistoryDataBase.h"
#include "CProgressWidget.h"
#include "CUIPublic.h"
#include "EraseResult.h"
#include "MsgDefine.h"
#include "ProgressBody.h"
#include "UiHelpers.h"

CEraseProgressDlg::CEraseProgressDlg(QWidget* parent) : CRunProgressDlg(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  RegisterMsg(MSG_ERASE_FILES_DONE);
  RegisterMsg(MSG_ERASE_FILES_PROGRESS);
  SetTitleLineVisible(false);
  ClearTitle();
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(460, 250);
  if (parent) CenterOnParent();
  m_run.SetObserver(&m_observer);
  m_run.SetHistoryPath(CHistoryDataBase::DefaultPath());
}

CEraseProgressDlg::~CEraseProgressDlg() {
  if (m_started && !m_done) m_run.Cancel();
  m_run.Join();
}

void CEraseProgressDlg::SetItems(const std::vector<EraseItem>& files, const std::vector<EraseItem>& folders) {
  m_files = files;
  m_folders = folders;
}

void CEraseProgressDlg::CreateBody() {
  ProgressBody parts = BuildProgressBody(
      tr("Initializing, please wait..."),
      tr("Data erasure algorithm: %1").arg(GetAlgorithmName(static_cast<uint>(m_run.Passes()))));
  QVBoxLayout* body = parts.layout;
  m_status = parts.status;
  m_progress = parts.progress;
  m_progress->SetBarHeight(12);
  m_progress->GetProgressBar()->setValue(0);
  m_cancel = new QPushButton(QStringLiteral("Cancel"));
  m_cancel->setFixedSize(96, 26);
  m_cancel->setStyleSheet(SecondaryButtonStyle());
  connect(m_cancel, &QPushButton::clicked, this, &CEraseProgressDlg::OnCancelWipe);
  body->addWidget(m_cancel, 0, Qt::AlignRight | Qt::AlignBottom);
  m_content->addLayout(body);
}

void CEraseProgressDlg::StartErase() {
  if (m_started) return;
  m_run.SetItems(m_files, m_folders);
  m_run.SetPasses(CUIPublic::instance()->GetErasePasses());
  CreateBody();
  m_started = true;
  m_run.Start();
}

int CEraseProgressDlg::ReceiveMsg(__MsgData msg) {
  switch (msg.id) {
    case MSG_TITLE_CLOSE:
      OnCancelWipe();
      break;
    case MSG_ERASE_FILES_PROGRESS: {
      if (!m_started || m_done || m_run.IsCancelled()) return 1;
      const auto* data = static_cast<const ProgressMsgData*>(msg.data);
      const int count = m_observer.Count();
      QProgressBar* bar = m_progress->GetProgressBar();
      bar->setRange(0, count == 1 ? 2 : count);
      if (data) bar->setValue(data->value);
      m_status->setText(tr("Completely erasing: %1").arg(QString::fromStdString(m_observer.DisplayName())));
      break;
    }
    case MSG_ERASE_FILES_DONE: {
      // A done message of some other run is not taken for ours.
      if (!m_started || m_done || !m_run.IsFinished()) break;
      m_done = true;
      // The run has written its history before this message: join it now.
      m_run.Join();
      m_result = m_run.Result();
      QTimer::singleShot(m_closeDelayMs, this, [this] {
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
