#include "CRAWFileProperties.h"

#include <cstdio>

#include "CBasicFileProperties.h"
#include "CRAWDataRunList.h"
#include "CRawFileInfo.h"
#include "FileTime.h"
#include "SanitizeFileName.h"
#include "ScanStreamIO.h"

std::string ClampUtf8(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<uint8_t>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

namespace {

// Keeps the text cut to the limit and its length byte (length + 1).
void StoreText(const std::string& text, std::string& out, uint8_t& lengthByte) {
  out = ClampUtf8(text, CRAWFileProperties::kMaxText);
  lengthByte = static_cast<uint8_t>(out.size() + 1);
}

// The length byte, then that many bytes: the text, its terminator, zeros.
bool SaveText(IScanStream* s, const std::string& text, uint8_t lengthByte, bool always) {
  if (!StreamWriteU8(s, lengthByte)) return false;
  if (lengthByte == 0 && !always) return true;
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.resize(lengthByte, 0);
  return StreamWriteBytes(s, bytes.data(), lengthByte);
}

bool LoadText(IScanStream* s, std::string& text, uint8_t& lengthByte) {
  std::vector<uint8_t> bytes;
  if (!StreamReadU8(s, lengthByte) || !StreamReadBytes(s, lengthByte, bytes)) return false;
  text = TextUpToZero(bytes);
  return true;
}

}  // namespace

uint64_t CRAWFileProperties::GetCreationTime() const {
  if (m_dateText.empty()) return 0;
  int f[6] = {0, 0, 0, 0, 0, 0};
  if (std::sscanf(m_dateText.c_str(), "%d:%d:%d %d:%d:%d", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]) <= 0) return 0;
  uint64_t t = 0;
  return CalendarToFileTime(f[0], f[1], f[2], f[3], f[4], f[5], 0, t) ? t : 0;
}

void CRAWFileProperties::GetRawFileType(int& typeId, std::string& typeName) const {
  typeId = m_typeId;
  typeName = m_typeName;
}

void CRAWFileProperties::GetRawExtent(uint64_t& first, uint64_t& second) const {
  first = m_extent1;
  second = m_extent2;
}

void CRAWFileProperties::SetRawFileName(const char* name) {
  StoreText(name ? name : "", m_name, m_nameLength);
}

void CRAWFileProperties::SetTimeText(const std::string& text) {
  StoreText(text, m_dateText, m_dateTextLength);
}

void CRAWFileProperties::SetRawFileType(int typeId, const std::string& typeName) {
  m_typeId = typeId;
  StoreText(SanitizeFileName(typeName), m_typeName, m_typeNameLength);
}

void CRAWFileProperties::SetRawExtent(uint64_t first, uint64_t second) {
  m_extent1 = first;
  m_extent2 = second;
}

int CRAWFileProperties::SetFromRawFileInfo(const CRawFileInfo& info) {
  m_size = static_cast<int64_t>(info.GetFileSize());
  // The length bytes always follow the texts they describe.
  SetTimeText(info.GetDateText());
  int id = -1;
  std::string typeName;
  info.GetRawFileType(id, typeName);
  m_typeId = id;
  StoreText(typeName, m_typeName, m_typeNameLength);
  CRAWDataRunList runs;
  const uint64_t size = info.GetFileSize();
  runs.AddRun(info.GetStartSector(), size / 512 + (size % 512 ? 1 : 0));
  m_packed.reset(PackDataRunList(&runs));
  return 1;
}

bool CRAWFileProperties::Save(IScanStream* s) const {
  static const CPackedDataRuns kNoRuns;
  return SaveText(s, m_name, m_nameLength, true) && SaveText(s, m_dateText, m_dateTextLength, false) &&
         StreamWriteU64(s, static_cast<uint64_t>(m_size)) && StreamWriteU16(s, m_attributes) &&
         StreamWriteU8(s, m_deleted) && StreamWriteU32(s, static_cast<uint32_t>(m_typeId)) &&
         SaveText(s, m_typeName, m_typeNameLength, false) && StreamWriteU64(s, m_extent1) &&
         StreamWriteU64(s, m_extent2) && (m_packed ? *m_packed : kNoRuns).Save(s);
}

bool CRAWFileProperties::Load(IScanStream* s) {
  CRAWFileProperties loaded;
  uint64_t size = 0;
  uint32_t typeId = 0;
  if (!LoadText(s, loaded.m_name, loaded.m_nameLength) || !LoadText(s, loaded.m_dateText, loaded.m_dateTextLength) ||
      !StreamReadU64(s, size) || !StreamReadU16(s, loaded.m_attributes) || !StreamReadU8(s, loaded.m_deleted) ||
      !StreamReadU32(s, typeId) || !LoadText(s, loaded.m_typeName, loaded.m_typeNameLength) ||
      !StreamReadU64(s, loaded.m_extent1) || !StreamReadU64(s, loaded.m_extent2))
    return false;
  std::unique_ptr<CPackedDataRuns> packed(LoadPackedDataRuns(s));
  if (!packed) return false;
  if (packed->bytes.empty()) packed.reset();
  m_name = std::move(loaded.m_name);
  m_nameLength = loaded.m_nameLength;
  m_dateText = std::move(loaded.m_dateText);
  m_dateTextLength = loaded.m_dateTextLength;
  m_size = static_cast<int64_t>(size);
  m_attributes = loaded.m_attributes;
  m_deleted = loaded.m_deleted;
  m_typeId = static_cast<int>(typeId);
  m_typeName = std::move(loaded.m_typeName);
  m_typeNameLength = loaded.m_typeNameLength;
  m_extent1 = loaded.m_extent1;
  m_extent2 = loaded.m_extent2;
  m_packed = std::move(packed);
  m_status = 0;
  return true;
}

CRAWFileProperties* CreateRAWFileProperties() {
  return new CRAWFileProperties;
}

CRAWFileProperties* LoadRAWFileProperties(IScanStream* stream) {
  return LoadFileProperties<CRAWFileProperties>(stream);
}
