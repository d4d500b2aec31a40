#include "StartUp.h"

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CMSGDlg.h"
#include "CrashDump.h"
#include "MainWindowSeam.h"
#include "MsgDefine.h"
#include "RunLog.h"
#include "WindowPlacement.h"

const char kProgramVersion[] = "16.8";
const char kNoDisplayMessage[] =
    "Norvanta Vantorel Pro: no display was found. Start it from a desktop session (DISPLAY or WAYLAND_DISPLAY must "
    "name the display).";
const char kInstanceMutexName[] = "NorvantaVT0_Mutex_735120_Fennick";
const char kInstanceServerName[] = "Norvanta_KDUI";

namespace {

const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Room for the handler, WriteCrashDump and backtrace() when the main
// thread's own stack has overflowed.
alignas(16) char g_altStack[128 * 1024];
std::atomic<int> g_inCrash{0};

void CrashSignalHandler(int sig, siginfo_t* info, void*) {
  // A fault inside the writer itself goes straight to the default action.
  if (g_inCrash.exchange(1) == 0) platform::WriteCrashDump(static_cast<uint32_t>(sig), info ? info->si_addr : nullptr);
  // SA_RESETHAND has restored the default action; the re-raised signal is
  // delivered as soon as this handler returns.
  raise(sig);
}

int g_quitPipe[2] = {-1, -1};

void QuitSignalHandler(int) {
  const char byte = 1;
  if (g_quitPipe[1] >= 0) {
    ssize_t n = write(g_quitPipe[1], &byte, 1);
    (void)n;
  }
}

QtMessageHandler g_previousHandler = nullptr;

void StartUpMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    // Reached only while the platform plug-in starts: it could not open the
    // display. qFatal would abort and leave a crash dump for a set-up fault.
    fprintf(stderr, "%s\n%s\n", kNoDisplayMessage, qPrintable(text));
    LogError("No display: %s", qPrintable(text));
    _exit(1);
  }
  if (g_previousHandler) g_previousHandler(type, context, text);
}

bool EnvironmentSet(const char* name) {
  const char* value = getenv(name);
  return value && *value;
}

}  // namespace

int AnswerCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      printf(
          "Usage: vantorel [--help] [--version] [Qt options]\n"
          "Norvanta Vantorel Pro erases files, the free space of volumes and whole partitions beyond recovery.\n"
          "It needs a desktop session and, for disk work, administrator rights (start it with sudo or pkexec).\n"
          "\n"
          "  --help     show this text and exit\n"
          "  --version  show the version and exit\n");
      return 0;
    }
    if (arg == "--version" || arg == "-v") {
      printf("Norvanta Vantorel Pro %s\n", kProgramVersion);
      return 0;
    }
  }
  return -1;
}

bool DisplayConfigured(int argc, char** argv) {
  std::string platform;
  if (const char* env = getenv("QT_QPA_PLATFORM")) platform = env;
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "-platform") == 0) platform = argv[i + 1];
  // "xcb:option", "wayland;xcb": the first name is the one tried first.
  platform = platform.substr(0, platform.find_first_of(":;"));
  if (platform.empty()) return EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY");
  if (platform == "xcb") return EnvironmentSet("DISPLAY");
  if (platform.rfind("wayland", 0) == 0) return EnvironmentSet("WAYLAND_DISPLAY");
  return true;
}

void BeginDisplayStartUp() {
  g_previousHandler = qInstallMessageHandler(StartUpMessageHandler);
}

void EndDisplayStartUp() {
  qInstallMessageHandler(g_previousHandler);
}

bool InstallCrashHandler() {
  static bool installed = false;
  if (installed) return true;
  stack_t alt;
  memset(&alt, 0, sizeof alt);
  alt.ss_sp = g_altStack;
  alt.ss_size = sizeof g_altStack;
  const bool haveAltStack = sigaltstack(&alt, nullptr) == 0;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = CrashSignalHandler;
  sa.sa_flags = SA_SIGINFO | SA_RESETHAND | (haveAltStack ? SA_ONSTACK : 0);
  sigemptyset(&sa.sa_mask);
  bool ok = true;
  for (int sig : kCrashSignals) ok = sigaction(sig, &sa, nullptr) == 0 && ok;
  installed = ok;
  return ok;
}

void InstallQuitSignals() {
  if (g_quitPipe[0] >= 0) return;
  if (pipe2(g_quitPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_quitPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    char buffer[16];
    while (read(g_quitPipe[0], buffer, sizeof buffer) > 0) {
    }
    LogInfo("Quit requested by signal");
    AnnounceAppClosing();
    QCoreApplication::quit();
  });
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = QuitSignalHandler;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

void AnnounceAppClosing() {
  static std::atomic<bool> announced{false};
  if (!announced.exchange(true)) SendBusMsg(MSG_APP_CLOSING);
}

int ShowMessageBox(int iconKind, const QString& text, const QRect& over) {
  CMSGDlg box(424, 244, ShellMainWindow());
  box.InitUI(iconKind, text, 1, 0);
  if (over.isValid()) box.move(CenteredOver(box.size(), over, AvailableScreenArea()));
  if (const char* answer = getenv("VANTOREL_TEST_ANSWER_MS")) {
    bool ok = false;
    const int ms = QString::fromLatin1(answer).toInt(&ok);
    if (ok && ms >= 0) {
      LogInfo("Message box: %s", qPrintable(text));
      QTimer::singleShot(0, &box, [&box] {
        const QRect g = box.geometry();
        LogInfo("Message box placed at %d,%d %dx%d", g.x(), g.y(), g.width(), g.height());
      });
      QTimer::singleShot(ms, &box, [&box] { box.done(0); });
    }
  }
  return box.exec();
}
