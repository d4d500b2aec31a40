#include "DeviceWatcher.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

DeviceWatcher::DeviceWatcher(QObject* parent) : QObject(parent) { m_known = PresentDisks(); }

DeviceWatcher::~DeviceWatcher() {
  delete m_notifier;
  if (m_fd >= 0) close(m_fd);
}

bool DeviceWatcher::Start() {
  if (m_fd >= 0) return true;
  int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
  if (fd < 0) return false;
  sockaddr_nl addr = {};
  addr.nl_family = AF_NETLINK;
  addr.nl_pid = 0;  // let the kernel pick a port id
  addr.nl_groups = 1;  // kernel uevents
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return false;
  }
  m_fd = fd;
  m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] { ReadEvents(); });
  return true;
}

bool DeviceWatcher::IsBlockEvent(const QByteArray& message) {
  // "action@devpath\0KEY=value\0KEY=value\0..."
  for (const QByteArray& field : message.split('\0'))
    if (field == "SUBSYSTEM=block") return true;
  return false;
}

void DeviceWatcher::ReadEvents() {
  bool block = false;
  char buf[8192];
  for (;;) {
    ssize_t n = recv(m_fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    if (IsBlockEvent(QByteArray(buf, static_cast<int>(n)))) block = true;
  }
  if (block) Rescan();
}

QSet<QString> DeviceWatcher::PresentDisks(const QString& sysBlock) {
  QSet<QString> disks;
  const QStringList names = QDir(sysBlock).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
  for (const QString& name : names) {
    QFile size(sysBlock + QLatin1Char('/') + name + QStringLiteral("/size"));
    if (!size.open(QIODevice::ReadOnly)) continue;
    if (size.readAll().trimmed().toULongLong() > 0) disks.insert(name);
  }
  return disks;
}

void DeviceWatcher::Rescan() {
  QSet<QString> now = PresentDisks();
  for (const QString& name : now)
    if (!m_known.contains(name)) Q_EMIT diskArrived(name);
  for (const QString& name : m_known)
    if (!now.contains(name)) Q_EMIT diskRemoved(name);
  m_known = now;
}

}  // namespace platform
