// Process start and end: the crash handler, orderly quitting on SIGTERM and
// SIGINT, the single-instance check and the message boxes of start-up.
#pragma once

#include <QRect>
#include <QString>

class QObject;

// Installs handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT that run
// on an alternate stack, write "<program folder>/tlmvtdump<N>.dmp" and then
// re-raise the signal with its default action. Safe to call more than once;
// meant to run from a static initialiser, before main.
bool InstallCrashHandler();

// SIGTERM, SIGINT and SIGHUP quit the event loop, so main shuts down in
// order and writes no crash dump.
void InstallQuitSignals();

// Sends MSG_APP_CLOSING, once per process, whichever way the program ends
// in order (the close button, the window's close, SIGTERM), so that workers
// listening for it stop before the event loop returns.
void AnnounceAppClosing();

// A message box of 424 x 244 over the main window (over `over` when that is
// given, a window of another process): icon kind (0 success, 1 warning),
// text, one OK button. Returns the box's result.
//
// Test switch: with VANTOREL_TEST_ANSWER_MS=N in the environment, every box
// shown through here answers itself with its first button after N ms, and
// its text goes to the run log, so that a test can run the program without
// a person.
int ShowMessageBox(int iconKind, const QString& text, const QRect& over = QRect());

// The program's version as the about box and --version show it.
extern const char kProgramVersion[];

// Answers --help and --version on stdout before anything needs a display.
// Returns the exit status for such an argument, or -1 to start normally.
int AnswerCommandLine(int argc, char** argv);

// Whether the platform Qt is about to use can find a display. The platform
// comes from -platform or QT_QPA_PLATFORM; an X11 start needs DISPLAY, a
// Wayland start WAYLAND_DISPLAY. Platforms without a display server
// (offscreen, minimal) always pass.
bool DisplayConfigured(int argc, char** argv);

// From now until EndDisplayStartUp, a fatal message from Qt (its platform
// plug-in could not open the display) ends the process with status 1 and a
// line on stderr instead of an abort and a crash dump.
void BeginDisplayStartUp();
void EndDisplayStartUp();

// The line given when no display can be used.
extern const char kNoDisplayMessage[];

// Names of the single-instance lock and the socket later starts talk to.
extern const char kInstanceMutexName[];
extern const char kInstanceServerName[];
