// The UI service: the process-wide object that knows the main window, the
// page on show and the chosen pass count, switches pages over the bus,
// caches icons, loads the internet-traces plug-in and keeps the data the
// uninstaller's windows share.
#pragma once

#include <QIcon>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <atomic>
#include <vector>

#include "CZqAutoPtr.h"
#include "ITraceSweep.h"
#include "InstalledApp.h"

class QWidget;

class CUIPublic {
 public:
  static CUIPublic* instance();
  virtual ~CUIPublic();

  // Records the page and sends MSG_TITLE_REFRESH, then MSG_SWITCH_PAGE,
  // both with {page, 0, 0, 0}.
  void SwitchPage(int page, int param1 = -1, int param2 = -1);
  int GetCurrentPage() const { return m_currentPage; }

  void SetMainWindow(QWidget* window);
  QWidget* GetMainWindow() const { return m_mainWindow; }

  void SetAppEnum(CAppEnum* appEnum) { m_appEnum = appEnum; }
  CAppEnum* GetAppEnum() const { return m_appEnum; }

  // Read by the erase workers from their own threads.
  void SetErasePasses(int passes) { m_erasePasses = passes; }
  int GetErasePasses() const { return m_erasePasses; }

  // The loaded plug-in; null when it is missing or its Init failed.
  ITraceSweep* GetTraceGatherer() const { return m_tracePlugin.Get(); }
  bool LoadTracePlugin();
  void ReleaseTracePlugin();

  void SetProgramList(const std::vector<InstalledApp>& list) { m_programList = list; }
  std::vector<InstalledApp> GetProgramList() const { return m_programList; }
  void SetUninstallSize(qint64 bytes) { m_uninstallSize = bytes; }
  qint64 GetUninstallSize() const { return m_uninstallSize; }

  QIcon LoadListIcons(unsigned kind);
  QIcon GetFileTypeIcon(const QString& name);
  QString GetErrorText(quint64 code) const;
  QString GetDefaultErasePath() const;
  void OpenHelp() const;
  const QStringList& DigitImages() const { return m_digitImages; }

 private:
  CUIPublic();
  QWidget* m_mainWindow = nullptr;
  CAppEnum* m_appEnum = nullptr;
  int m_currentPage = 0;
  std::atomic<int> m_erasePasses{1};
  QMap<QString, QIcon> m_iconCache;
  QStringList m_digitImages;
  CZqAutoPtr<ITraceSweep> m_tracePlugin;
  std::vector<InstalledApp> m_programList;
  qint64 m_uninstallSize = 0;
};

// Location kinds of the list icons.
bool IsLocalLocation(int kind);
bool IsCloudLocation(int kind);
bool IsFtpLocation(int kind);

// Loads a library by name and returns one of its entries (null when either
// is missing); a failed load other than of the log library is logged.
void* GetLogDllProc(const char* library, const char* entry);
void* GetPluginDllProc(const char* library, const char* entry);
// Calls a plug-in's factory entry ("GetImp" when entry is null).
ITraceSweep* CreatePluginInstance(const char* library, const char* entry);
// A line through the second log library ("qrtlog.dll", "log_write"); 0 when it is absent.
int WriteLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
