#include "DialogOpeners.h"

#include <QCoreApplication>

#include "StartUp.h"

namespace {

DialogOpener& MethodOpener() {
  static DialogOpener opener;
  return opener;
}

DialogOpener& HistoryOpener() {
  static DialogOpener opener;
  return opener;
}

void ShowUnavailable(const QString& text) { ShowMessageBox(1, text); }

}  // namespace

void SetMethodDialogOpener(DialogOpener opener) { MethodOpener() = std::move(opener); }

void SetHistoryDialogOpener(DialogOpener opener) { HistoryOpener() = std::move(opener); }

void OpenMethodDialog() {
  if (MethodOpener()) {
    // A copy, so that an opener that replaces itself stays alive while it runs.
    DialogOpener opener = MethodOpener();
    opener();
    return;
  }
  ShowUnavailable(QCoreApplication::translate("CLeftTools", "The erasure algorithms are not available yet."));
}

void OpenHistoryDialog() {
  if (HistoryOpener()) {
    DialogOpener opener = HistoryOpener();
    opener();
    return;
  }
  ShowUnavailable(QCoreApplication::translate("CLeftTools", "The erasure history is not available yet."));
}
