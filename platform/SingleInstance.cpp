#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "RunLog.h"

namespace platform {

namespace {
const char kRaiseRequest[] = "raise\n";
}

SingleInstance::SingleInstance(const QString& mutexName, const QString& serverName, QObject* parent)
    : QObject(parent), m_mutexName(mutexName), m_serverName(serverName) {}

SingleInstance::~SingleInstance() {
  if (m_server) m_server->close();
  if (m_lockFd >= 0) close(m_lockFd);
}

// The lock file and the socket live in the session's runtime folder, so two
// sessions (or two test runs) never see each other's instance.
static QString RuntimeFolder() {
  QString dir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
  if (dir.isEmpty() || !QDir(dir).exists()) dir = QStringLiteral("/tmp");
  return dir;
}

QString SingleInstance::LockFilePath() const { return RuntimeFolder() + QLatin1Char('/') + m_mutexName; }

QString SingleInstance::SocketPath() const { return RuntimeFolder() + QLatin1Char('/') + m_serverName; }

bool SingleInstance::TryBecomeFirst() {
  const QByteArray path = LockFilePath().toLocal8Bit();
  int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    // Like a mutex that cannot be created: run as the only instance.
    LogError("single instance: cannot open %s", path.constData());
    return true;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    AskFirstToRaise();
    return false;
  }
  m_lockFd = fd;
  m_server = new QLocalServer(this);
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  // A socket left by a crashed instance: we hold the lock, so it is stale.
  QLocalServer::removeServer(SocketPath());
  if (!m_server->listen(SocketPath())) {
    LogError("single instance: cannot listen on %s", qPrintable(m_serverName));
    return true;
  }
  connect(m_server, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (socket->readAll().startsWith("raise")) Q_EMIT raiseRequested();
        socket->disconnectFromServer();
      });
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  return true;
}

void SingleInstance::AskFirstToRaise() {
  QLocalSocket socket;
  socket.connectToServer(SocketPath());
  if (!socket.waitForConnected(1000)) return;  // no window to raise: the message is still shown
  socket.write(kRaiseRequest);
  socket.waitForBytesWritten(1000);
  socket.waitForDisconnected(500);
}

}  // namespace platform
