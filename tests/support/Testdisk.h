// testdisk as an independent oracle for the complete searches: the
// partitions its deep search finds on an image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// Runs `testdisk /log /cmd IMAGE partition_i386,analyze,search` in a
// temporary folder and answers the starts (in 512-byte sectors, ascending,
// each once) of the partitions its log lists; empty when it did not run.
std::vector<uint64_t> TestdiskFoundStarts(const std::string& image);

}  // namespace testutil
