#include "CExt2DirEntry.h"

#include "ByteOrder.h"
#include "CharConversion.h"

uint32_t CExt2DirEntry::Inode(const uint8_t* entry) {
  return ReadLE32(entry);
}
uint16_t CExt2DirEntry::RecordLength(const uint8_t* entry) {
  return ReadLE16(entry + 4);
}
uint8_t CExt2DirEntry::NameLength(const uint8_t* entry) {
  return entry[6];
}

bool CExt2DirEntry::IsValid(const uint8_t* entry, size_t available) {
  if (!entry || available < kHeaderSize) return false;
  const uint32_t recLen = RecordLength(entry);
  const uint32_t nameLen = NameLength(entry);
  return recLen % 4 == 0 && recLen >= NeededLength(nameLen) && kHeaderSize + nameLen <= available;
}

std::string CExt2DirEntry::NameText(const uint8_t* name, uint32_t length) {
  if (!name || length == 0) return std::string();
  if (length > 255) length = 255;
  char text[256];
  const int copied = dnc::Utf8ToAnsi(name, static_cast<int>(length), text, static_cast<int>(length));
  if (copied > 0) return std::string(text, static_cast<size_t>(copied));
  return std::string(reinterpret_cast<const char*>(name), length);
}
