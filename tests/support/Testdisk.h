// testdisk as the reference for partitions found without a partition table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// Runs `testdisk /log /cmd IMAGE partition_i386,analyze,search` in a
// temporary folder and answers the starts, in 512-byte sectors, of the
// partitions its log lists after the search, in its order. Empty when
// testdisk did not run or found nothing.
std::vector<uint64_t> TestdiskFoundStarts(const std::string& image);

}  // namespace testutil
