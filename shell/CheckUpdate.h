// "Checking version..." box: asks the update library, on a worker thread or
// at once, whether a newer version exists, and closes when the answer is in
// (MSG_UPDATE_CHECK_DONE). The outcome stays readable afterwards.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "CBaseDialog.h"

class CBPQtLabel;

// The update library's checker object.
class IUpdateChecker {
 public:
  virtual ~IUpdateChecker() = default;
  // Fetches the update information; negative on failure.
  virtual int FetchUpdateInfo(const char* url, int flags) = 0;
  // Nonzero when the given version is the current one.
  virtual int IsCurrentVersion(uint32_t major, uint32_t minor) = 0;
};

class CheckUpdate : public CBaseDialog {
  Q_OBJECT
 public:
  // Where the checker comes from: by default the library "PatchAgent.dll",
  // operation "GetUpdateChecker" (absent on Linux: no checker).
  using CheckerSource = std::function<IUpdateChecker*()>;
  static void SetCheckerSource(CheckerSource source);

  explicit CheckUpdate(QWidget* parent = nullptr);
  ~CheckUpdate() override;

  void SetSynchronous(bool synchronous) { m_synchronous = synchronous; }
  void InitUI();
  int RunCheck();
  bool IsFailed() const;
  bool HasUpdate() const;
  QString GetMessage() const;

  int ReceiveMsg(__MsgData msg) override;

 private:
  bool m_synchronous = false;
  bool m_failed = false;
  bool m_hasUpdate = false;
  CBPQtLabel* m_animation = nullptr;
  CBPQtLabel* m_caption = nullptr;
  QString m_message;
  mutable std::mutex m_mutex;
  std::thread m_worker;
};
