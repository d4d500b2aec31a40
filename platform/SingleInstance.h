// One instance per user session.
//
// The first instance takes an exclusive flock on a lock file named after
// the program's mutex in $XDG_RUNTIME_DIR (or /tmp) and listens on a local
// socket named after its window class in the same folder. A second instance finds the lock
// taken, asks the first over the socket to bring its window forward (the
// first answers with where its window is), and then stops.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <functional>

class QLocalServer;

namespace platform {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  SingleInstance(const QString& mutexName, const QString& serverName, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this process is the first instance (it then holds the lock for
  // its whole life and listens for later starts). False when another
  // instance runs; that instance has been asked to raise its window.
  bool TryBecomeFirst();
  // The first instance tells later starts where its window is, so that they
  // can show their message over it.
  void SetWindowGeometryProvider(std::function<QRect()> provider) { m_windowGeometry = std::move(provider); }
  // After TryBecomeFirst returned false: the first instance's window as it
  // answered, or an empty rectangle when it did not.
  QRect FirstInstanceWindow() const { return m_firstWindow; }
  QString LockFilePath() const;
  QString SocketPath() const;

 Q_SIGNALS:
  // A later start asked this instance to restore, raise and activate its window.
  void raiseRequested();

 private:
  void AskFirstToRaise();
  QString m_mutexName;
  QString m_serverName;
  int m_lockFd = -1;
  QLocalServer* m_server = nullptr;
  std::function<QRect()> m_windowGeometry;
  QRect m_firstWindow;
};

}  // namespace platform
