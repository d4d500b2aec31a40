// One instance per user session.
//
// The first instance takes an exclusive flock on a lock file named after
// the program's mutex in $XDG_RUNTIME_DIR (or /tmp) and listens on a local
// socket named after its window class in the same folder. A second instance finds the lock
// taken, asks the first over the socket to bring its window forward, and
// then stops.
#pragma once

#include <QObject>
#include <QString>

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
};

}  // namespace platform
