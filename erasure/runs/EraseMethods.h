// The overwrite methods, known by their pass counts (1, 3, 7, 35).
#pragma once

// The pass count a run uses: 1, 3, 7 or 35; any other value is taken as 1,
// the method whose name it shows.
int ErasePassesOf(int passes);
// The method's name: "HMG Infosec Standard 5" for 1 and for unknown counts.
const char* ErasureMethodName(int passes);
// True for the methods whose last pass must be read back (3 and 7 passes).
bool ErasureMethodVerifies(int passes);
