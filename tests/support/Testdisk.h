// testdisk as an independent judge of partition searches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// Runs `testdisk /log /cmd IMAGE partition_i386,analyze,search` in a
// temporary folder and answers the starts, in 512-byte sectors, of the
// partitions its log lists (any pass of the search; ascending, each once). Empty
// when testdisk did not run or listed none.
std::vector<uint64_t> TestdiskFoundStarts(const std::string& image);

// The same from the text of a testdisk log.
std::vector<uint64_t> TestdiskStartsFromLog(const std::string& log);

}  // namespace testutil
