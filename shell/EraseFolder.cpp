#include "EraseFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QVariant>

#include "RunLog.h"
#include "UiConfig.h"

namespace {

std::function<bool(QString*)>& Finder() {
  static std::function<bool(QString*)> finder;
  return finder;
}

const QString kProbeFolder = QStringLiteral("33E09668-388F-4ABE-B681-8C150079CF11-tmp");

// A volume counts when a folder can be made in its root.
bool CanWriteRoot(const QString& root) {
  QDir dir(root);
  const bool existed = dir.exists(kProbeFolder);
  if (!existed && !dir.mkdir(kProbeFolder)) return false;
  if (!existed) dir.rmdir(kProbeFolder);
  return true;
}

}  // namespace

void SetEraseDriveFinder(std::function<bool(QString*)> finder) { Finder() = std::move(finder); }

bool FindDefaultEraseDrive(QString* out) {
  if (!out) {
    LogError("FindDefaultEraseDrive: no output");
    return false;
  }
  if (Finder()) return Finder()(out);
  // The root volume first, so it wins a tie, then the others in mount order.
  QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
  std::stable_partition(volumes.begin(), volumes.end(), [](const QStorageInfo& v) { return v.isRoot(); });
  QString best;
  qint64 bestFree = -1;
  for (const QStorageInfo& v : volumes) {
    if (!v.isValid() || !v.isReady() || v.isReadOnly()) continue;
    if (!v.isRoot() && !v.device().startsWith("/dev/")) continue;
    if (v.bytesFree() > bestFree && CanWriteRoot(v.rootPath())) {
      best = v.rootPath();
      bestFree = v.bytesFree();
    }
  }
  if (best.isEmpty()) {
    LogError("FindDefaultEraseDrive: no writable volume");
    return false;
  }
  const QString folder = QDir(best).filePath(QStringLiteral("Tidewell"));
  QDir().mkpath(folder);
  *out = folder;
  return QFileInfo(folder).isDir();
}

QString GetDefaultErasePath() {
  QVariant value;
  QString text;
  if (GetConfigValue(QStringLiteral("Main"), QStringLiteral("DefaultPath"), &value)) text = value.toString();
  if (text.isEmpty()) {
    QString found;
    if (FindDefaultEraseDrive(&found)) {
      text = found;
      SetConfigValue(QStringLiteral("DefaultPath"), QStringLiteral("path"), text, QStringLiteral("userconfig"));
    }
  }
  return text;
}
