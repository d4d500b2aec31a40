// Volume roots: "/" and every mount point. Nothing that destroys files may
// take a volume root as an item, whether it was chosen, dropped or reached
// by walking a folder; the drop handler, the file chooser and the erase run
// all ask here.
#pragma once

#include <set>
#include <string>

namespace platform {

// The mount points of this process (from /proc/self/mountinfo, escapes
// decoded). Always holds "/".
std::set<std::string> MountPoints();

// The absolute form of path in which the folder part is resolved (symbolic
// links, "." and "..") and the last name is kept as it stands, so that a
// symbolic link named last stays the link itself. "/" stays "/"; a path
// whose folder does not exist keeps its lexically cleaned folder.
std::string ResolveFolderPart(const std::string& path);

// True when path names "/" or a mount point: it is listed in mountPoints
// (after ResolveFolderPart), or it is a folder on another device than its
// parent folder. A symbolic link is never a volume root: removing it leaves
// its target alone.
bool IsVolumeRoot(const std::string& path, const std::set<std::string>& mountPoints);
// The same with a fresh read of the mount points.
bool IsVolumeRoot(const std::string& path);

}  // namespace platform
