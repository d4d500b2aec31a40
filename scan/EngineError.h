// Packed error codes of the engine: 0 is success; any other code holds the
// number of the failing place in its upper 16 bits and an error number in
// its lower 16 bits. Codes travel unchanged through the layers above.
#pragma once

#include <cstdint>

constexpr int MakeEngineError(uint32_t location, uint32_t error) {
  return static_cast<int>(((location & 0xFFFFu) << 16) | (error & 0xFFFFu));
}
constexpr uint32_t EngineErrorLocation(int code) {
  return (static_cast<uint32_t>(code) >> 16) & 0xFFFFu;
}
constexpr uint32_t EngineErrorNumber(int code) {
  return static_cast<uint32_t>(code) & 0xFFFFu;
}

// The recovery controllers' codes.
namespace engine_error {
// Deleted-file controller.
constexpr int kQuickNoController = MakeEngineError(0x42, 0x12);    // RunQuickSearch: no quick search for the type
constexpr int kDeletedBadArgument = MakeEngineError(0x66, 0x05);   // Recover: device, sink or result sink null
constexpr int kDeletedNoBuilder = MakeEngineError(0x67, 0x04);     // Recover: tree builder not created
constexpr int kDeletedBuilderInit = MakeEngineError(0x6D, 0x01);   // Recover: tree builder Init failed
constexpr int kDeletedNoController = MakeEngineError(0x7C, 0x12);  // Recover: no quick search for the type
// Recover: FAT and NTFS have no read-only quick search (theirs scrubs).
constexpr int kDeletedScrubbingType = MakeEngineError(0x65, 0x32);
// Complete controller.
constexpr int kCompleteBadArgument = MakeEngineError(0x4F, 0x05);   // Recover: device, sink or result sink null
constexpr int kCompleteNoBuilder = MakeEngineError(0x1EA, 0x04);    // Recover: tree builder not created
constexpr int kCompleteBuilderInit = MakeEngineError(0x1EF, 0x02);  // Recover: tree builder Init failed
constexpr int kCompleteNoSearch = MakeEngineError(0x1E0, 0x10);     // Recover: no complete search created
constexpr int kScanNoSink = MakeEngineError(0xFF, 0x05);            // device scan: sink null
// Device scan: first sector after the last one (also a device without sectors).
constexpr int kScanBadRange = MakeEngineError(0x104, 0x11);
// Tree builder: AddNode found no tree of the node's kind.
constexpr int kBuilderNoTree = MakeEngineError(0x13F, 0x14);
// A deleted-record scrub ran to its end but left records of deleted files
// as they were (it could not confirm them); what it could scrub, it did.
constexpr int kScrubIncomplete = MakeEngineError(0xE2, 0x12B);
}  // namespace engine_error

// Prints "Return Error:0x<code>\tFile:<name>\tLine:<line>\tFuction:<function>"
// on standard output (the file name after its last '\' or '/') and answers
// the code unchanged.
int ReturnError(int code, const char* file, int line, const char* function);
// Where those lines go instead of standard output (a tool whose standard
// output carries its result sends them to the run log); null restores it.
using ReturnErrorSink = void (*)(const char* line);
void SetReturnErrorSink(ReturnErrorSink sink);
