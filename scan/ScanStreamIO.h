// Field-by-field writers and readers over an IScanStream. Every saved form
// of the engine is a sequence of these calls. The readers answer false on a
// short stream and leave the output unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IScanStream.h"

bool StreamWriteU8(IScanStream* s, uint8_t v);
bool StreamWriteU16(IScanStream* s, uint16_t v);
bool StreamWriteU32(IScanStream* s, uint32_t v);
bool StreamWriteU64(IScanStream* s, uint64_t v);
bool StreamWriteF64(IScanStream* s, double v);
bool StreamWriteBytes(IScanStream* s, const void* data, uint32_t bytes);

bool StreamReadU8(IScanStream* s, uint8_t& v);
bool StreamReadU16(IScanStream* s, uint16_t& v);
bool StreamReadU32(IScanStream* s, uint32_t& v);
bool StreamReadU64(IScanStream* s, uint64_t& v);
bool StreamReadF64(IScanStream* s, double& v);
// Reads `bytes` bytes in bounded pieces, so that a damaged length costs no
// more memory than the stream really holds. On failure `out` is emptied.
bool StreamReadBytes(IScanStream* s, uint32_t bytes, std::vector<uint8_t>& out);
bool StreamReadText(IScanStream* s, uint32_t bytes, std::string& out);
