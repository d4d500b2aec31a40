// Folder sizes and the folder of an executable: file-system work without
// widgets, in a file of its own so that command-line tools linking it load
// no graphics libraries.
#pragma once

#include <QString>

// The folder of the executable a command line names (quotes stripped);
// empty when it names no executable file.
QString GetExecutableFolder(const QString& command);
// Bytes of the files that are not hidden in the folder tree (the
// executable's folder when isFolder is false). Symbolic links are not
// followed and every folder is counted once.
quint64 GetFolderSize(const QString& path, bool isFolder);
