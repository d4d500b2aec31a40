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
        if (!socket->readAll().startsWith("raise")) {
          socket->disconnectFromServer();
          return;
        }
        const QRect window = m_windowGeometry ? m_windowGeometry() : QRect();
        if (window.isValid())
          socket->write(QStringLiteral("window %1 %2 %3 %4\n")
                            .arg(window.x())
                            .arg(window.y())
                            .arg(window.width())
                            .arg(window.height())
                            .toLatin1());
        socket->flush();
        Q_EMIT raiseRequested();
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
  // "window X Y W H" from a first instance that shows its window.
  QByteArray answer;
  while (!answer.contains('\n') && socket.waitForReadyRead(1000)) answer += socket.readAll();
  const QList<QByteArray> parts = answer.trimmed().split(' ');
  if (parts.size() == 5 && parts[0] == "window") {
    int v[4];
    bool ok = true;
    for (int i = 0; i < 4 && ok; ++i) v[i] = parts[i + 1].toInt(&ok);
    if (ok && v[2] > 0 && v[3] > 0) m_firstWindow = QRect(v[0], v[1], v[2], v[3]);
  }
  socket.waitForDisconnected(500);
}

}  // namespace platform
