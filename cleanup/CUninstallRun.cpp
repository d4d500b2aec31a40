#include "CUninstallRun.h"

#include <unistd.h>

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include "DesktopUser.h"
#include "FlatpakApps.h"
#include "MsgDefine.h"
#include "RunLog.h"

namespace {

struct ProcessRun {
  bool ended = false;  // started and ended by itself (not killed, not lost)
  int exitCode = -1;
  QByteArray output;  // standard output and standard error together
  QString error;      // why it did not end normally
};

QProcessEnvironment RemoverEnvironment() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
  // Messages in one language: the reasons are read from them.
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
  // dpkg looks for ldconfig and start-stop-daemon on PATH.
  QStringList path = env.value(QStringLiteral("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const char* dir : {"/usr/local/sbin", "/usr/sbin", "/sbin", "/usr/bin", "/bin"})
    if (!path.contains(QLatin1String(dir))) path << QLatin1String(dir);
  env.insert(QStringLiteral("PATH"), path.join(QLatin1Char(':')));
  return env;
}

QString CommandText(const QString& program, const QStringList& args) {
  return (QStringList{program} + args).join(QLatin1Char(' '));
}

// Runs a program to its end and logs what it printed. A removal is never
// cut short: the wait has no time limit.
ProcessRun RunToEnd(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                    const QByteArray& input = QByteArray()) {
  ProcessRun run;
  const QByteArray command = CommandText(program, args).toUtf8();
  LogInfo("Running %s", command.constData());
  QProcess process;
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::MergedChannels);
  if (input.isEmpty()) process.setStandardInputFile(QProcess::nullDevice());
  process.start(program, args);
  if (!process.waitForStarted(-1)) {
    run.error = QStringLiteral("%1 could not be started: %2").arg(program, process.errorString());
    LogError("%s", run.error.toUtf8().constData());
    return run;
  }
  if (!input.isEmpty()) {
    process.write(input);
    process.closeWriteChannel();
  }
  if (!process.waitForFinished(-1) && process.state() != QProcess::NotRunning) {
    // Not expected with an unlimited wait.
    run.error = QStringLiteral("the wait for %1 failed: %2").arg(program, process.errorString());
    LogError("%s", run.error.toUtf8().constData());
    return run;
  }
  run.output = process.readAll();
  for (const QByteArray& line : run.output.split('\n'))
    if (!line.trimmed().isEmpty()) LogInfo("%s: %s", program.toUtf8().constData(), line.constData());
  if (process.exitStatus() != QProcess::NormalExit) {
    run.error = QStringLiteral("%1 ended abnormally: %2").arg(program, process.errorString());
    LogError("%s", run.error.toUtf8().constData());
    return run;
  }
  run.ended = true;
  run.exitCode = process.exitCode();
  LogInfo("%s ended with exit code %d", command.constData(), run.exitCode);
  return run;
}

QStringList Lines(const QByteArray& output) {
  QStringList lines;
  for (const QByteArray& raw : output.split('\n'))
    if (!raw.trimmed().isEmpty()) lines << QString::fromUtf8(raw);
  return lines;
}

// The line of dpkg's output that says why it did not remove a package.
QString DpkgReason(const QByteArray& output) {
  const QStringList lines = Lines(output);
  for (int i = 0; i < lines.size(); ++i) {
    // "dpkg: dependency problems prevent removal of A:" then " B depends on A."
    if (!lines[i].startsWith(QLatin1String("dpkg: dependency problems prevent removal"))) continue;
    QStringList details;
    for (int j = i + 1; j < lines.size() && lines[j].startsWith(QLatin1Char(' ')); ++j) details << lines[j].trimmed();
    if (!details.isEmpty()) return details.join(QStringLiteral("; "));
  }
  for (int i = lines.size() - 2; i >= 0; --i)
    if (lines[i].startsWith(QLatin1String("dpkg: error processing")) && lines[i + 1].startsWith(QLatin1Char(' ')))
      return lines[i + 1].trimmed();
  for (int i = lines.size() - 1; i >= 0; --i)
    if (lines[i].startsWith(QLatin1String("dpkg: "))) return lines[i].mid(6).trimmed();
  return lines.isEmpty() ? QString() : lines.last().trimmed();
}

// The last line of flatpak's output that reports an error.
QString FlatpakReason(const QByteArray& output) {
  const QStringList lines = Lines(output);
  for (int i = lines.size() - 1; i >= 0; --i)
    if (lines[i].startsWith(QLatin1String("error:"), Qt::CaseInsensitive)) return lines[i].mid(6).trimmed();
  return lines.isEmpty() ? QString() : lines.last().trimmed();
}

UninstallOutcome Outcome(UninstallStatus status, const QString& reason, int exitCode = -1) {
  UninstallOutcome outcome;
  outcome.status = status;
  outcome.reason = reason;
  outcome.exitCode = exitCode;
  return outcome;
}

// A remover that ran but did not remove: its exit code and its last error line.
UninstallOutcome FailedRun(const ProcessRun& run, const QString& reason) {
  if (!run.ended) return Outcome(UninstallStatus::Failed, run.error);
  QString text = QStringLiteral("exit code %1").arg(run.exitCode);
  if (!reason.isEmpty()) text += QStringLiteral(": ") + reason;
  return Outcome(UninstallStatus::Failed, text, run.exitCode);
}

bool IsGone(const std::vector<DpkgPackage>& found) {
  return found.empty() || found.front().state == QLatin1String("config-files") ||
         found.front().state == QLatin1String("not-installed");
}

}  // namespace

const char* UninstallStatusText(UninstallStatus status) {
  switch (status) {
    case UninstallStatus::Removed:
      return "removed";
    case UninstallStatus::Refused:
      return "refused";
    case UninstallStatus::Started:
      return "started";
    case UninstallStatus::Failed:
      break;
  }
  return "failed";
}

CUninstallRun::CUninstallRun() = default;

CUninstallRun::CUninstallRun(const DpkgDatabase& database) : m_dpkg(database) {}

UninstallOutcome CUninstallRun::Run(const InstalledApp& app) const {
  LogInfo("Uninstalling %s (%s)", app.name.toUtf8().constData(), app.packageId.toUtf8().constData());
  UninstallOutcome outcome;
  if (geteuid() != 0) {
    outcome = Outcome(UninstallStatus::Refused,
                      QStringLiteral("Permission denied: removing programs needs root rights (start the program "
                                     "with sudo or pkexec)"));
  } else {
    outcome = app.isStoreApp ? RemoveStoreApp(app) : RemovePackage(app);
  }
  LogInfo("Uninstall of %s: %s%s%s", app.packageId.toUtf8().constData(), UninstallStatusText(outcome.status),
          outcome.reason.isEmpty() ? "" : ": ", outcome.reason.toUtf8().constData());
  return outcome;
}

QStringList CUninstallRun::DpkgOptions() const {
  if (m_dpkg.Root().isEmpty()) return {};
  // dpkg wants the root as an absolute path; the package root has no shell
  // of its own to run maintainer scripts in.
  return {QStringLiteral("--root=") + QFileInfo(m_dpkg.Root()).absoluteFilePath(),
          QStringLiteral("--force-script-chrootless")};
}

UninstallOutcome CUninstallRun::RemovePackage(const InstalledApp& app) const {
  const QString& name = app.packageId;
  if (!IsPackageName(name)) return Outcome(UninstallStatus::Failed, QStringLiteral("not a package name"));
  const std::vector<DpkgPackage> found = m_dpkg.Packages({name});
  if (IsGone(found)) return Outcome(UninstallStatus::Failed, QStringLiteral("not installed"));
  const QString block = RemovalBlock(found.front());
  if (!block.isEmpty()) return Outcome(UninstallStatus::Refused, block);

  const QProcessEnvironment env = RemoverEnvironment();
  const QString dpkg = QStringLiteral("dpkg");
  // The dry run refuses what the removal would refuse, and changes nothing.
  const ProcessRun dry =
      RunToEnd(dpkg, DpkgOptions() + QStringList{QStringLiteral("--no-act"), QStringLiteral("--remove"), name}, env);
  if (!dry.ended) return Outcome(UninstallStatus::Failed, dry.error);
  if (dry.exitCode != 0) return Outcome(UninstallStatus::Refused, DpkgReason(dry.output), dry.exitCode);

  const QStringList removeArgs = DpkgOptions() + QStringList{QStringLiteral("--remove"), name};
  if (app.selfFlag) {
    // The program's own package: dpkg goes on in a session of its own after
    // the program has ended.
    QProcess detached;
    detached.setProgram(dpkg);
    detached.setArguments(removeArgs);
    detached.setProcessEnvironment(env);
    detached.setStandardInputFile(QProcess::nullDevice());
    detached.setStandardOutputFile(QProcess::nullDevice());
    detached.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!detached.startDetached(&pid))
      return Outcome(UninstallStatus::Failed, QStringLiteral("dpkg could not be started: ") + detached.errorString());
    LogInfo("The own package's removal runs on as process %lld: %s", static_cast<long long>(pid),
            CommandText(dpkg, removeArgs).toUtf8().constData());
    SendBusMsg(MSG_EXIT_APP);
    return Outcome(UninstallStatus::Started, QStringLiteral("dpkg removes it after the program has ended"));
  }

  const ProcessRun removal = RunToEnd(dpkg, removeArgs, env);
  if (removal.ended && removal.exitCode == 0) {
    if (IsGone(m_dpkg.Packages({name}))) return Outcome(UninstallStatus::Removed, QString(), 0);
    return Outcome(UninstallStatus::Failed,
                   QStringLiteral("dpkg ended without error but the package is still installed"), 0);
  }
  const UninstallOutcome failed = FailedRun(removal, DpkgReason(removal.output));
  KeepSelection(name);
  return failed;
}

void CUninstallRun::KeepSelection(const QString& package) const {
  const std::vector<DpkgPackage> now = m_dpkg.Packages({package});
  if (IsGone(now) || now.front().want != QLatin1String("deinstall")) return;
  const ProcessRun set =
      RunToEnd(QStringLiteral("dpkg"), DpkgOptions() + QStringList{QStringLiteral("--set-selections")},
               RemoverEnvironment(), (package + QStringLiteral(" install\n")).toUtf8());
  if (!set.ended || set.exitCode != 0) LogError("The selection of %s stays deinstall", package.toUtf8().constData());
}

UninstallOutcome CUninstallRun::RemoveStoreApp(const InstalledApp& app) const {
  const bool user = app.installation == AppInstallation::User;
  FlatpakInstallation installation;
  for (const FlatpakInstallation& i : FlatpakInstallations())
    if (i.kind == app.installation) installation = i;
  if (FlatpakDeployment(installation, app.packageId).isEmpty())
    return Outcome(UninstallStatus::Failed, QStringLiteral("not installed"));

  QProcessEnvironment env = RemoverEnvironment();
  // The installation the list found the app in, also when it is the
  // desktop user's and the program runs as root.
  env.insert(user ? QStringLiteral("FLATPAK_USER_DIR") : QStringLiteral("FLATPAK_SYSTEM_DIR"), installation.folder);
  QString program = QStringLiteral("flatpak");
  QStringList args = {QStringLiteral("uninstall"), user ? QStringLiteral("--user") : QStringLiteral("--system"),
                      QStringLiteral("-y"), QStringLiteral("--noninteractive"), app.packageId};
  const DesktopUser person = DesktopUser::Find();
  if (user && person.isOther) {
    // The person's own installation is changed as the person, so that
    // nothing in it comes to belong to root.
    const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
    if (runuser.isEmpty()) return Outcome(UninstallStatus::Failed, QStringLiteral("runuser is missing"));
    env.insert(QStringLiteral("HOME"), person.home);
    env.insert(QStringLiteral("USER"), person.name);
    env.insert(QStringLiteral("LOGNAME"), person.name);
    args = QStringList{QStringLiteral("-u"), person.name, QStringLiteral("--"), program} + args;
    program = runuser;
  }
  const ProcessRun run = RunToEnd(program, args, env);
  if (run.ended && run.exitCode == 0) {
    if (FlatpakDeployment(installation, app.packageId).isEmpty())
      return Outcome(UninstallStatus::Removed, QString(), 0);
    return Outcome(UninstallStatus::Failed,
                   QStringLiteral("flatpak ended without error but the app is still installed"), 0);
  }
  return FailedRun(run, FlatpakReason(run.output));
}
