// The free-space wipe run, without any window. For FAT16, FAT32 and NTFS it
// first scrubs the records of deleted files (ScrubDeletedRecords: lock,
// quick search, release, mount again); then it mounts the volume when it is
// not mounted (at /run/vantorel/X, unmounted again afterwards), and once per
// pass fills the free space with files of 0xFF bytes in a folder it creates
// with a fresh name, writes them out (syncfs) and removes them.
//
// Safety: the filler goes only into the run's own folder, which must lie on
// the target volume (not on the file system beneath a missing mount); only
// files and folders the run created are removed, on every exit path; each
// pass writes at most the free space measured; the bytes are written
// directly from one buffer (no copies the file system could share), with
// compression switched off where the file system allows. A skipped or
// failed scrub is not reported as full success.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CEraseRun.h"
#include "FileSystemTypes.h"
#include "IFreeSpaceObserver.h"
#include "ScrubDeletedRecords.h"
#include "VolumeLock.h"

class CWipeFreeSpaceRun : public CEraseRun {
 public:
  // Writes a filler chunk: returns what write(2) returns. `pass` is 0-based.
  using FillerWriter = std::function<ssize_t(int pass, int fd, const void* buffer, size_t length)>;

  // Bytes per filler write; the default size of a filler file and number
  // of files per subfolder (FAT allows a limited number of entries in a
  // folder, and a FAT file stays below 4 GiB).
  static constexpr size_t kChunkBytes = 2u << 20;
  static constexpr uint64_t kFileBytes = 1ull << 30;
  static constexpr int kFilesPerFolder = 200;

  CWipeFreeSpaceRun();
  ~CWipeFreeSpaceRun() override;  // waits for a started run
  CWipeFreeSpaceRun(const CWipeFreeSpaceRun&) = delete;
  CWipeFreeSpaceRun& operator=(const CWipeFreeSpaceRun&) = delete;

  // The volume: its letter and the file system our analysers found.
  void SetVolume(char letter, EFileSystemType type);
  // A volume of several extents is filled but never scrubbed.
  void SetMultiExtent(bool multiExtent) { m_multiExtent = multiExtent; }
  // The identity the volume list showed; checked before the scrub opens the
  // volume for writing and before the first filler byte.
  void ExpectIdentity(const platform::VolumeExpectation& expect);
  // May be null. Not owned.
  void SetObserver(IFreeSpaceObserver* observer) { SetRunObserver(observer); }
  // Replaces write(2) for the filler (tests count and fail writes here).
  void SetFillerWriter(FillerWriter writer) { m_writer = std::move(writer); }
  // Smaller files and folders (tests of the spreading over subfolders).
  void SetFillerLayout(uint64_t fileBytes, int filesPerFolder);

  // A cancel (CEraseRun::Cancel) stops the run at its next filler write;
  // it removes its filler and reports ERASE_FREESPACE_CANCELLED.

  // After the run (CEraseRun::Result, in free-space mode): the scrub's
  // report, the free bytes measured, the filler bytes written per pass, and
  // the mount point and filler folder used.
  const ScrubReport& Scrub() const { return m_scrub; }
  // The outcome of the passes alone (-1 when the filling never began).
  int FillResult() const { return m_fillResult; }
  uint64_t FreeBytes() const { return m_freeBytes; }
  // False when the file system reported no free space (fusefat): the
  // volume's size stood in for it as the bound of each pass.
  bool FreeKnown() const { return m_freeKnown; }
  const std::vector<uint64_t>& PassBytes() const { return m_passBytes; }
  const std::string& MountPoint() const { return m_mountPoint; }
  const std::string& FillerFolder() const { return m_folder; }
  // The history row's text: "Wiped free space of partition X".
  std::string HistoryText() const;

 protected:
  int Execute() override;
  std::vector<EraseItem> HistoryRows() const override;
  std::string LogName() const override;

 private:
  int Wipe();
  int FillPass(int pass);
  bool WriteFillerFile(int pass, const std::string& path, uint64_t limit, uint64_t* written, int* error);
  // Whether the volume is full after `error` from an open, a mkdir or a
  // write, whatever the error: the pass wrote the free space measured, or
  // the file system reports less than one cluster free.
  bool VolumeFull(int error, uint64_t passWritten) const;
  bool RemoveFiller();
  void Report(int pass, uint64_t written);
  IFreeSpaceObserver* Observer() const { return static_cast<IFreeSpaceObserver*>(RunObserver()); }

  char m_letter = 0;
  EFileSystemType m_type = EFileSystemType::Unknown;
  bool m_multiExtent = false;
  bool m_hasExpect = false;
  platform::VolumeExpectation m_expect;
  FillerWriter m_writer;
  uint64_t m_fileBytes = kFileBytes;
  int m_filesPerFolder = kFilesPerFolder;

  int m_fillResult = -1;
  ScrubReport m_scrub;
  uint64_t m_freeBytes = 0;
  bool m_freeKnown = true;
  std::vector<uint64_t> m_passBytes;
  std::string m_mountPoint;
  std::string m_folder;
  // What the current pass created, in creation order.
  std::vector<std::string> m_createdFiles;
  std::vector<std::string> m_createdFolders;
  std::vector<char> m_buffer;
};
