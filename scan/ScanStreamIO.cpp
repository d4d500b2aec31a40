#include "ScanStreamIO.h"

#include <cstring>

#include "ByteOrder.h"

namespace {
constexpr uint32_t kReadPiece = 64 * 1024;
}

bool StreamWriteU8(IScanStream* s, uint8_t v) {
  return s && s->Write(&v, 1);
}
bool StreamWriteU16(IScanStream* s, uint16_t v) {
  uint8_t b[2];
  WriteLE16(b, v);
  return s && s->Write(b, 2);
}
bool StreamWriteU32(IScanStream* s, uint32_t v) {
  uint8_t b[4];
  WriteLE32(b, v);
  return s && s->Write(b, 4);
}
bool StreamWriteU64(IScanStream* s, uint64_t v) {
  uint8_t b[8];
  WriteLE64(b, v);
  return s && s->Write(b, 8);
}
bool StreamWriteF64(IScanStream* s, double v) {
  uint64_t bits = 0;
  static_assert(sizeof bits == sizeof v, "IEEE double");
  std::memcpy(&bits, &v, sizeof bits);
  return StreamWriteU64(s, bits);
}
bool StreamWriteBytes(IScanStream* s, const void* data, uint32_t bytes) {
  if (!s) return false;
  if (bytes == 0) return true;
  return data && s->Write(data, bytes);
}

bool StreamReadU8(IScanStream* s, uint8_t& v) {
  uint8_t b = 0;
  if (!s || !s->Read(&b, 1)) return false;
  v = b;
  return true;
}
bool StreamReadU16(IScanStream* s, uint16_t& v) {
  uint8_t b[2];
  if (!s || !s->Read(b, 2)) return false;
  v = ReadLE16(b);
  return true;
}
bool StreamReadU32(IScanStream* s, uint32_t& v) {
  uint8_t b[4];
  if (!s || !s->Read(b, 4)) return false;
  v = ReadLE32(b);
  return true;
}
bool StreamReadU64(IScanStream* s, uint64_t& v) {
  uint8_t b[8];
  if (!s || !s->Read(b, 8)) return false;
  v = ReadLE64(b);
  return true;
}
bool StreamReadF64(IScanStream* s, double& v) {
  uint64_t bits = 0;
  if (!StreamReadU64(s, bits)) return false;
  std::memcpy(&v, &bits, sizeof v);
  return true;
}
bool StreamReadBytes(IScanStream* s, uint32_t bytes, std::vector<uint8_t>& out) {
  out.clear();
  if (!s) return false;
  uint32_t done = 0;
  while (done < bytes) {
    const uint32_t piece = bytes - done < kReadPiece ? bytes - done : kReadPiece;
    out.resize(done + piece);
    if (!s->Read(out.data() + done, piece)) {
      out.clear();
      out.shrink_to_fit();
      return false;
    }
    done += piece;
  }
  return true;
}
bool StreamReadText(IScanStream* s, uint32_t bytes, std::string& out) {
  std::vector<uint8_t> raw;
  if (!StreamReadBytes(s, bytes, raw)) return false;
  out.assign(raw.begin(), raw.end());
  return true;
}
