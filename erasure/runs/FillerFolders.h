// The free-space fill's own folders and files, by name and content, and
// their removal when a run that was killed or crashed left them behind.
//
// A run fills "<root>/.norvanta-XXXXXX" (a fresh mkdtemp name), in numbered
// subfolders "0", "1", ... holding regular files "norvanta<N>.norvanta" and
// nothing else. A folder is taken for a left-over filler folder only when
// its name and its whole content are exactly that; anything else in it
// leaves it where it is (and the log says so).
#pragma once

#include <string>
#include <vector>

namespace filler {

// The mkdtemp pattern of a run's folder on the volume mounted at `root`.
std::string FolderTemplate(const std::string& root);
// "/<index / filesPerFolder>" and "/norvanta<index>.norvanta".
std::string SubfolderName(int folderIndex);
std::string FileName(int fileIndex);

// ".norvanta-" followed by the six letters and digits mkdtemp puts there.
bool IsFolderName(const std::string& name);

// Removes `folder` when its name and everything in it are a run's filler;
// otherwise removes nothing and says why in *why. True when it is gone.
bool RemoveFolder(const std::string& folder, std::string* why);

// Removes the filler folders at the root of the volume mounted at `root`
// that no live run of ours is filling. Returns lines for the run log.
std::vector<std::string> RemoveLeftovers(const std::string& root);

// At program start and before every free-space run: releases what runs
// that were killed or crashed left behind (their filler folders, on-demand
// mounts and loop devices, as recorded when made), and logs what was done.
void CleanUpAfterEarlierRuns();

}  // namespace filler
