// The default folder for erasing: [Main] DefaultPath, else a "Tidewell"
// folder on the writable local volume with the most free space, which is
// then remembered in the user copy of "userconfig".
#pragma once

#include <QString>

#include <functional>

// The default erase folder (possibly empty).
QString GetDefaultErasePath();
// Picks the volume, creates <root>/Tidewell and stores its path in *out;
// true when the folder exists afterwards.
bool FindDefaultEraseDrive(QString* out);
// Replaces the volume probe (tests); an empty function restores it.
void SetEraseDriveFinder(std::function<bool(QString*)> finder);
