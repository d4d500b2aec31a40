#include "ProgramParts.h"

#include "CDiskListService.h"
#include "CFATQuickSearch.h"
#include "CHistoryLogDlg.h"
#include "CInternetGrabagePage.h"
#include "CMainWin.h"
#include "CMethodDlg.h"
#include "CNTFSQuickSearch.h"
#include "CSelectFileFolderPage.h"
#include "CUIPublic.h"
#include "CWipePartitionPage.h"
#include "DialogOpeners.h"
#include "DiskListSeam.h"
#include "PageFactories.h"
#include "VolumeAnalysers.h"

// The pages and the method and history dialogs come from the libraries above
// the shell; they are registered here (RegisterPageFactory,
// SetMethodDialogOpener, SetHistoryDialogOpener) before the window is built,
// the volume analysers before the first disk listing, and the engines' quick
// searches the free-space scrub runs (the NTFS MFT wiper, the FAT directory
// scrub).
void RegisterProgramParts() {
  RegisterVolumeAnalysers();
  RegisterNTFSQuickSearch();
  RegisterFATQuickSearch();
  // The main window asks whether a disk listing runs and hears when one ends.
  DiskListSeam::instance()->SetRunningProbe([] { return CDiskListService::IsPassRunning(); });
  CDiskListService::SetPassListener([] { DiskListSeam::instance()->NotifyListingEnded(); });
  RegisterPageFactory(0, [] { return CreateSelectFileFolderPage(); });
  RegisterPageFactory(1, [] { return CreateWipePartitionPage(0); });
  RegisterPageFactory(2, [] { return CreateWipePartitionPage(1); });
  RegisterPageFactory(3, [] { return CreateInternetGrabagePage(); });
  SetMethodDialogOpener([] { OpenMethodDialog(static_cast<QWidget*>(nullptr)); });
  SetHistoryDialogOpener([] { OpenHistoryDialog(static_cast<QWidget*>(nullptr)); });
  // The file page takes what was dropped on the main window.
  SetDroppedPathsProvider([](QStringList* files, QStringList* folders) {
    auto* window = qobject_cast<CMainWin*>(CUIPublic::instance()->GetMainWindow());
    if (!window) return;
    if (files) *files = window->GetDroppedFiles();
    if (folders) *folders = window->GetDroppedFolders();
  });
}
