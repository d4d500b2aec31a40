// Settings of Config.dat that the FAT engine reads.
#pragma once

// [register] bRevise=N of Config.dat in the program folder; 1 when the file,
// the section or the key is missing. The FAT32 directory rebuild repairs
// deleted entries' cluster numbers only when it is set.
int ReadReviseSetting();
