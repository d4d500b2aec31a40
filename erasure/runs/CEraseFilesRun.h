// The file and folder erase run, without any window: it expands the chosen
// items into a work list, erases the items from the last to the first (so a
// folder's content goes before the folder), reports through an observer and
// writes the run to the erasure history. The progress dialog, vtctl and the
// tests all drive this class.
//
// Safety: the walk never follows a symbolic link (a link is removed, its
// target stays), never leaves the file system of the chosen folder, never
// opens device nodes, FIFOs or sockets, and refuses "/" and every mount
// point as an item, and never overwrites a file that has hard links outside
// the selection. A file is deleted only after every pass of its overwrite
// (and the read-back where the method asks for one) has succeeded.
#pragma once

#include <sys/types.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "CEraseRun.h"
#include "CFileOverwriter.h"
#include "EraseItem.h"
#include "IRunObserver.h"

class CEraseFilesRun : public CEraseRun {
 public:
  CEraseFilesRun();
  ~CEraseFilesRun() override;  // waits for a started run
  CEraseFilesRun(const CEraseFilesRun&) = delete;
  CEraseFilesRun& operator=(const CEraseFilesRun&) = delete;

  // The chosen files and folders (the page's two lists). The isFolder field
  // is taken from the list an item comes in; what is on the disk decides how
  // it is erased.
  void SetItems(const std::vector<EraseItem>& files, const std::vector<EraseItem>& folders);
  // May be null. Not owned.
  void SetObserver(IRunObserver* observer) { SetRunObserver(observer); }
  // The pauses that let a progress bar be seen: after every item, and after
  // the only item of a one-item run. Default 20 ms and 500 ms.
  void SetPauses(int itemMs, int singleItemMs);

  // The overwriter every file goes through (to watch its passes).
  CFileOverwriter& Overwriter() { return m_overwriter; }

  // A cancel (CEraseRun::Cancel) leaves a file whose overwrite is cut short
  // in place, recorded as failed. True when the run was not cancelled (the
  // page's question).
  bool IsCompleted() const { return !IsCancelled(); }

  // After the run (CEraseRun::Result: ERASE_COMPLETED, ERASE_FILES_CANCELLED,
  // ERASE_FILES_ITEMS_FAILED): the processed items with their results in
  // the order processed, which are the run's history rows.
  const std::vector<EraseItem>& DoneItems() const { return m_done; }
  // After the run: how many processed items failed, and the first of them
  // with its reason (the system's error text where a call failed).
  int FailedCount() const { return m_failedCount; }
  const std::string& FirstFailedPath() const { return m_firstPath; }
  const std::string& FirstFailureReason() const { return m_firstReason; }

 protected:
  int Execute() override;
  std::vector<EraseItem> HistoryRows() const override { return m_done; }
  std::string LogName() const override { return "erase"; }

 private:
  struct WorkItem {
    EraseItem item;
    dev_t dev = 0;        // device of the chosen item it was found under; 0 for a chosen item
    int32_t refused = 0;  // non-zero: fails with this result without being touched
  };

  void BuildWorkList();
  void AddChosen(const EraseItem& chosen, bool folder);
  void ListFolderFiles(int dirFd, const std::string& path, dev_t dev, int depth);
  int32_t EraseWorkItem(const WorkItem& work);
  // EraseItemResultFromErrno, noting `err` as the reason of the item's failure.
  int32_t ResultFromErrno(int err);
  int32_t EraseFileAt(int parentFd, const std::string& name, const std::string& path, const struct stat& st);
  int32_t EraseFolderAt(int parentFd, const std::string& name, const std::string& path);
  std::string RenameBeforeDelete(int parentFd, const std::string& name, const std::string& path, bool folder);
  void CountName(const struct stat& st);
  void Pause(int ms) const;
  IRunObserver* Observer() const { return static_cast<IRunObserver*>(RunObserver()); }

  std::vector<EraseItem> m_files;
  std::vector<EraseItem> m_folders;
  std::vector<WorkItem> m_work;
  std::vector<EraseItem> m_done;
  std::set<std::string> m_mountPoints;
  // Names of each regular file (device, inode) in the work list not yet
  // processed: a file with more names than the run holds has names outside
  // the selection, and overwriting it would destroy their content.
  std::map<std::pair<dev_t, ino_t>, nlink_t> m_namesInRun;
  int m_itemErrno = 0;  // errno of the current item's failing call, 0 when none
  int m_failedCount = 0;
  std::string m_firstPath;
  std::string m_firstReason;
  int m_itemPauseMs = 20;
  int m_singlePauseMs = 500;
  CFileOverwriter m_overwriter;
};
