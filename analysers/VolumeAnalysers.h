// The volume analysers of every file system the engines read, registered
// with storage (storage/VolumeAnalyserRegistry.h). The program's main and
// vtctl call RegisterVolumeAnalysers at start, before any disk is listed;
// so does every test that lists volumes or partitions.
#pragma once

// Registers one analyser per EVolumeAnalyserKind: NTFS and FAT (with their
// boot-sector and label readers), exFAT, HFS+ and Ext2. Calling it again
// changes nothing.
void RegisterVolumeAnalysers();
