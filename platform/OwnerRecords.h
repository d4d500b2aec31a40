// What a process of ours leaves on the machine while it works, written
// down so that a later start can release it when the process was killed or
// crashed: the volumes it mounted on demand, the loop devices it attached
// and the filler folders of the free-space fill. One small file per thing
// under /run/vantorel/owners names the owner by its pid and start time, so
// a pid reused by another process is never taken for the owner.
//
// A record is written before the thing is made (or right after, for a loop
// device, whose name the kernel gives) and removed once the thing is gone.
// Records of a live process are never acted on.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "MountTable.h"
#include "VolumeLocation.h"

namespace platform {

// The folder of the records: /run/vantorel/owners.
std::string OwnerRecordFolder();

// One record as read back.
struct OwnerRecord {
  std::string file;  // the record's own file
  std::string kind;  // "mount", "loop", "folder"
  pid_t pid = 0;
  unsigned long long startTime = 0;  // ProcessStartTime of the owner
  std::map<std::string, std::string> fields;
  std::string Field(const std::string& key) const;
  uint64_t Number(const std::string& key) const;
};

// Whether the owner named by pid and start time has gone: no such process
// now, or the pid belongs to a process started at another time.
bool OwnerGone(pid_t pid, unsigned long long startTime);
bool OwnerGone(const OwnerRecord& record);

// The text of a record and back (lines "key=value"); a value holding a line
// break cannot be recorded. Parse answers false for a damaged record.
bool FormatOwnerRecord(const OwnerRecord& record, std::string* text);
bool ParseOwnerRecord(const std::string& text, OwnerRecord* record);

// Every record in the folder (damaged ones are skipped).
std::vector<OwnerRecord> ReadOwnerRecords();
// Removes a record read by ReadOwnerRecords.
void RemoveOwnerRecord(const OwnerRecord& record);

// This process mounts the volume at `where` on `mountPoint` (written before
// the mount is made), and has unmounted it.
void RecordOnDemandMount(const std::string& mountPoint, const VolumeLocation& where);
void ForgetOnDemandMount(const std::string& mountPoint);
// This process attached `loop`, and has detached it.
void RecordOwnLoop(const LoopInfo& loop);
void ForgetOwnLoop(const std::string& loopPath);
// This process fills `folder` (created by it), and has removed it.
void RecordOwnFolder(const std::string& folder);
void ForgetOwnFolder(const std::string& folder);
// Whether a live process of ours (this one included) recorded `folder`.
bool FolderOfLiveProcess(const std::string& folder);

// The volume location kept in a mount record.
VolumeLocation LocationOfRecord(const OwnerRecord& record);

}  // namespace platform
