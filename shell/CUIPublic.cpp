#include "CUIPublic.h"

#include <QWidget>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <strings.h>

#include "DesktopLinks.h"
#include "EraseFolder.h"
#include "ErrorIniFiles.h"
#include "FileTypeIcons.h"
#include "MainWindowSeam.h"
#include "MsgDefine.h"
#include "NamedLibrary.h"
#include "ProgramFolder.h"
#include "RunLog.h"

namespace {

// Libraries stay loaded for the life of the process, as entries handed out
// from them may be called at any time.
void* LoadEntry(const char* library, const char* entry) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<platform::NamedLibrary>> loaded;
  if (!library || !entry) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = loaded[library];
  if (!slot) {
    auto lib = std::make_unique<platform::NamedLibrary>();
    if (!lib->Load(library)) {
      if (strcasecmp(library, "qrtlog.dll") != 0) {
        // Logged outside the lock's scope would be nicer, but WriteLog only
        // ever asks for qrtlog.dll, which never comes back here.
        LogError("Loadd %s err=%s", library, lib->Error().c_str());
      }
      loaded.erase(library);
      return nullptr;
    }
    slot = std::move(lib);
  }
  return slot->Operation(entry);
}

}  // namespace

CUIPublic* CUIPublic::instance() {
  static CUIPublic service;
  return &service;
}

CUIPublic::CUIPublic() {
  for (int i = 0; i < 10; ++i) m_digitImages << QStringLiteral("./Resources/%1.png").arg(i);
  LoadTracePlugin();
  SetShellMainWindowProvider([this] { return m_mainWindow; });
}

CUIPublic::~CUIPublic() {
  m_programList.clear();
  m_tracePlugin.Reset();
  SetShellMainWindowProvider(nullptr);
}

void CUIPublic::SwitchPage(int page, int, int) {
  m_currentPage = page;
  PageMsgData record;
  record.page = page;
  SendBusMsg(MSG_TITLE_REFRESH, record);
  SendBusMsg(MSG_SWITCH_PAGE, record);
}

void CUIPublic::SetMainWindow(QWidget* window) {
  m_mainWindow = window;
  SetShellMainWindow(window);
}

bool CUIPublic::LoadTracePlugin() {
  // The plug-in, its catalogue and its texts ship beside the executable.
  const std::string folder = platform::ResourceFolder();
  m_tracePlugin.Reset(CreatePluginInstance("TraceSweep.dll", "GetImp"));
  if (!m_tracePlugin) {
    LogError("The traces plug-in was not found in %s", folder.c_str());
    return false;
  }
  const int64_t status = m_tracePlugin->Init(folder + "/Config.xml", folder + "/ResIDText.xml");
  if (status == 0) {
    LogInfo("Traces plug-in loaded from %s", folder.c_str());
    return true;
  }
  LogError("TraceSweep Init failed: %lld", static_cast<long long>(status));
  ReleaseTracePlugin();
  return false;
}

void CUIPublic::ReleaseTracePlugin() {
  if (!m_tracePlugin) return;
  m_tracePlugin->Uninit();
  m_tracePlugin.Reset();
}

QIcon CUIPublic::LoadListIcons(unsigned kind) {
  QString path;
  if (kind < 3 || kind > 7)
    path = QStringLiteral("./Resources/list_computer.png");
  else if (kind <= 6)
    path = QStringLiteral("./Resources/list_cloud_hover.png");
  else
    path = QStringLiteral("./Resources/list_ftp_hover.png");
  auto it = m_iconCache.find(path);
  if (it != m_iconCache.end()) return it.value();
  QIcon icon(path);
  m_iconCache.insert(path, icon);
  return icon;
}

QIcon CUIPublic::GetFileTypeIcon(const QString& name) { return GetCachedFileTypeIcon(&m_iconCache, name); }

QString CUIPublic::GetErrorText(quint64 code) const { return FormatErrorText(code); }

QString CUIPublic::GetDefaultErasePath() const { return ::GetDefaultErasePath(); }

void CUIPublic::OpenHelp() const { OpenHelpLink(); }

bool IsLocalLocation(int kind) { return !(kind == 0 || (kind >= 3 && kind <= 7)); }
bool IsCloudLocation(int kind) { return kind >= 3 && kind <= 6; }
bool IsFtpLocation(int kind) { return kind == 7; }

void* GetLogDllProc(const char* library, const char* entry) { return LoadEntry(library, entry); }
void* GetPluginDllProc(const char* library, const char* entry) { return LoadEntry(library, entry); }

ITraceSweep* CreatePluginInstance(const char* library, const char* entry) {
  auto factory = reinterpret_cast<TraceSweepGetImpFn>(GetPluginDllProc(library, entry ? entry : "GetImp"));
  return factory ? factory() : nullptr;
}

int WriteLog(const char* format, ...) {
  using LogWriteFn = int (*)(const char*, va_list);
  auto write = reinterpret_cast<LogWriteFn>(GetLogDllProc("qrtlog.dll", "log_write"));
  if (!write) return 0;
  va_list args;
  va_start(args, format);
  int result = write(format, args);
  va_end(args);
  return result;
}
