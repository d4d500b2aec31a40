#include "CBasicFileProperties.h"

#include <cstring>

#include "IDataRunList.h"
#include "ScanStreamIO.h"

std::string TextUpToZero(const std::vector<uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

IDataRunList* CBasicFileProperties::GetDataRunList() const {
  return m_packed ? m_packed->Unpack() : nullptr;
}

int CBasicFileProperties::SetStatusFlag(uint8_t value) {
  const uint8_t old = m_status;
  m_status = value;
  return old;
}

void CBasicFileProperties::PackRuns(const IDataRunList* list) {
  m_packed.reset(PackDataRunList(list));
}

bool CBasicFileProperties::SaveCommon(IScanStream* s, bool withTerminator) const {
  size_t length = m_name.size() + (withTerminator && !m_name.empty() ? 1 : 0);
  if (length > 0xFFFF) length = 0xFFFF;
  std::vector<uint8_t> bytes(m_name.begin(), m_name.end());
  bytes.resize(length, 0);
  return StreamWriteU16(s, static_cast<uint16_t>(length)) &&
         StreamWriteBytes(s, bytes.data(), static_cast<uint32_t>(length)) &&
         StreamWriteU64(s, static_cast<uint64_t>(m_size)) && StreamWriteU16(s, m_attributes) &&
         StreamWriteU64(s, m_creation) && StreamWriteU64(s, m_modification) && StreamWriteU64(s, m_access) &&
         StreamWriteU8(s, m_deleted);
}

bool CBasicFileProperties::LoadCommon(IScanStream* s, Common& out) {
  uint16_t length = 0;
  std::vector<uint8_t> name;
  uint64_t size = 0;
  if (!StreamReadU16(s, length) || !StreamReadBytes(s, length, name) || !StreamReadU64(s, size) ||
      !StreamReadU16(s, out.attributes) || !StreamReadU64(s, out.creation) || !StreamReadU64(s, out.modification) ||
      !StreamReadU64(s, out.access) || !StreamReadU8(s, out.deleted))
    return false;
  out.name = TextUpToZero(name);
  out.size = static_cast<int64_t>(size);
  return true;
}

void CBasicFileProperties::Assign(Common&& c) {
  m_name = std::move(c.name);
  m_size = c.size;
  m_attributes = c.attributes;
  m_creation = c.creation;
  m_modification = c.modification;
  m_access = c.access;
  m_deleted = c.deleted;
}

bool CBasicFileProperties::SaveOptionalRuns(IScanStream* s) const {
  if (!m_packed || m_packed->bytes.empty()) return StreamWriteU32(s, 0);
  return StreamWriteU32(s, 1) && m_packed->Save(s);
}

bool CBasicFileProperties::LoadOptionalRuns(IScanStream* s, std::unique_ptr<CPackedDataRuns>& out) {
  uint32_t has = 0;
  if (!StreamReadU32(s, has)) return false;
  out.reset();
  if (has != 1) return has == 0;
  out.reset(LoadPackedDataRuns(s));
  return out != nullptr;
}

bool CBasicFileProperties::SaveWithTwoWords(IScanStream* s, uint32_t first, uint32_t second) const {
  return SaveCommon(s, false) && StreamWriteU32(s, first) && StreamWriteU32(s, second) && SaveOptionalRuns(s);
}

bool CBasicFileProperties::LoadWithTwoWords(IScanStream* s, uint32_t& first, uint32_t& second) {
  Common common;
  uint32_t a = 0, b = 0;
  std::unique_ptr<CPackedDataRuns> packed;
  if (!LoadCommon(s, common) || !StreamReadU32(s, a) || !StreamReadU32(s, b) || !LoadOptionalRuns(s, packed))
    return false;
  Assign(std::move(common));
  m_status = 0;
  m_packed = std::move(packed);
  first = a;
  second = b;
  return true;
}
