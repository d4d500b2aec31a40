#include "CheckUpdate.h"

#include <QHBoxLayout>
#include <QMovie>
#include <QVBoxLayout>
#include <QVariant>

#include "CBPNotifyCentor.h"
#include "CBPQtLabel.h"
#include "MsgDefine.h"
#include "NamedLibrary.h"
#include "RunLog.h"
#include "UiConfig.h"
#include "UiHelpers.h"

namespace {

constexpr uint32_t kVersionMajor = 16;
constexpr uint32_t kVersionMinor = 8;

CheckUpdate::CheckerSource& Source() {
  static CheckUpdate::CheckerSource source;
  return source;
}

IUpdateChecker* CheckerFromLibrary() {
  using Instance = IUpdateChecker* (*)();
  auto* library = new platform::NamedLibrary;
  if (!library->Load("PatchAgent.dll")) {
    LogInfo("PatchAgent.dll not loaded: %s", library->Error().c_str());
    delete library;
    return nullptr;
  }
  const Instance instance = library->OperationAs<Instance>("GetUpdateChecker");
  if (!instance) {
    delete library;
    return nullptr;
  }
  return instance();  // the library stays loaded; its checker belongs to it
}

}  // namespace

void CheckUpdate::SetCheckerSource(CheckerSource source) { Source() = std::move(source); }

CheckUpdate::CheckUpdate(QWidget* parent) : CBaseDialog(parent) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_TITLE_CLOSE);
  RegisterMsg(MSG_UPDATE_CHECK_DONE);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(470, 240);
}

CheckUpdate::~CheckUpdate() {
  if (m_worker.joinable()) m_worker.join();
}

void CheckUpdate::InitUI() {
  auto* outer = new QVBoxLayout;
  outer->setContentsMargins(0, 20, 0, 20);
  outer->setSpacing(50);
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  auto* keeper = new QLabel(QString());
  keeper->setFixedWidth(470);
  m_animation = new CBPQtLabel;
  auto* movie = new QMovie(QStringLiteral("./Resources/loading.gif"), QByteArray(), m_animation);
  m_animation->setMovie(movie);
  movie->start();
  m_caption = new CBPQtLabel(tr("Checking version..."));
  SetWidgetFont(m_caption, 15);
  SetWidgetTextColor(m_caption, QColor(51, 51, 51));
  row->addItem(new QSpacerItem(150, 0, QSizePolicy::Fixed, QSizePolicy::Expanding));
  row->addWidget(m_animation, 0, Qt::AlignHCenter);
  row->addWidget(m_caption, 10, Qt::AlignLeft);
  outer->addWidget(keeper, 0);
  outer->addLayout(row);
  m_content->addLayout(outer);
  if (m_synchronous)
    RunCheck();
  else
    m_worker = std::thread([this] { RunCheck(); });
}

int CheckUpdate::RunCheck() {
  IUpdateChecker* checker = Source() ? Source()() : CheckerFromLibrary();
  if (checker) {
    QVariant url;
    GetConfigValue(QStringLiteral("URL"), QStringLiteral("ID_LINK_UPGRADE_INI"), &url);
    const QByteArray address = url.toString().toUtf8();
    QString message;
    bool failed = false, hasUpdate = false;
    if (checker->FetchUpdateInfo(address.constData(), 0) < 0) {
      message = tr("Failed to check for updates. \nplease check your network connection.");
      failed = true;
    } else if (checker->IsCurrentVersion(kVersionMajor, kVersionMinor) != 0) {
      message = tr("You are using the latest version.");
    } else {
      message = tr("A new version of Norvanta Vantorel Pro is \navailable. Would you like to update now?");
      hasUpdate = true;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_message = message;
    m_failed = failed;
    m_hasUpdate = hasUpdate;
  }
  SendBusMsg(MSG_UPDATE_CHECK_DONE);
  return 0;
}

bool CheckUpdate::IsFailed() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failed;
}

bool CheckUpdate::HasUpdate() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_hasUpdate;
}

QString CheckUpdate::GetMessage() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_message;
}

int CheckUpdate::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_TITLE_CLOSE || msg.id == MSG_UPDATE_CHECK_DONE) close();
  return 0;
}
