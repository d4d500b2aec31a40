// Tells when a whole disk appears or goes away.
//
// Listens to the kernel's block-device uevents on a netlink socket (no udev
// daemon needed). The action word of an event is not trusted: attaching a
// loop device only says "change", and so do our own opens and closes.
// Instead every block event makes the watcher compare the set of whole disks
// with a non-zero size (/sys/block/*/size) with the set it saw last.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QSocketNotifier;

namespace platform {

class DeviceWatcher : public QObject {
  Q_OBJECT
 public:
  explicit DeviceWatcher(QObject* parent = nullptr);
  ~DeviceWatcher() override;

  // Opens the uevent socket; false when the kernel refuses it (the watcher
  // then stays silent).
  bool Start();
  // Compares the disks now present with the last set and emits accordingly.
  // Called on every block event; public so tests can drive it.
  void Rescan();

  // Whole disks with a non-zero size, by kernel name.
  static QSet<QString> PresentDisks(const QString& sysBlock = QStringLiteral("/sys/block"));
  // True when one raw uevent message concerns the block subsystem.
  static bool IsBlockEvent(const QByteArray& message);

 Q_SIGNALS:
  void diskArrived(const QString& name);
  void diskRemoved(const QString& name);

 private:
  void ReadEvents();
  int m_fd = -1;
  QSocketNotifier* m_notifier = nullptr;
  QSet<QString> m_known;
};

}  // namespace platform
