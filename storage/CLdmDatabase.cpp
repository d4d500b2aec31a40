#include "CLdmDatabase.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "ByteOrder.h"
#include "ProgramFolder.h"
#include "RunLog.h"

namespace {

LdmVolumeServices g_services;

constexpr size_t kUnit = 128;        // a VBLK slot
constexpr size_t kFirstData = 104;   // field bytes in the first piece of a record
constexpr size_t kMoreData = 112;    // field bytes in each further piece
constexpr int kMaxSectorSize = 4096;  // the database buffer stays at most 8 MiB

// Copies text of at most `len` bytes (stopping at a NUL) into `out`, which
// holds `room` bytes; always NUL-terminated.
void CopyText(char* out, size_t room, const uint8_t* text, size_t len) {
  size_t n = 0;
  while (n < len && n + 1 < room && text[n]) ++n;
  memcpy(out, text, n);
  out[n] = 0;
}

void GuidText(const uint8_t* b, char* out, size_t room) {
  snprintf(out, room, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2], b[3],
           b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// Field reader over one VBLK record. Running past the record's end marks the
// reader failed; the record is then dropped.
class FieldReader {
 public:
  FieldReader(const uint8_t* data, size_t size, size_t pos) : m_data(data), m_size(size), m_pos(pos) {}
  bool ok() const { return m_ok; }

  uint8_t Byte() {
    if (!Need(1)) return 0;
    return m_data[m_pos++];
  }
  void Skip(size_t n) {
    if (Need(n)) m_pos += n;
  }
  uint64_t Be64Field() {
    if (!Need(8)) return 0;
    const uint64_t v = ReadBE64(m_data + m_pos);
    m_pos += 8;
    return v;
  }
  void Raw(uint8_t* out, size_t n) {
    if (!Need(n)) return;
    memcpy(out, m_data + m_pos, n);
    m_pos += n;
  }
  // A length byte L (1 to 64) and L bytes, big-endian. A bad length gives
  // all ones and consumes the length byte only.
  uint64_t Number() {
    const uint8_t len = Byte();
    if (!m_ok) return 0;
    if (len < 1 || len > 64) return UINT64_MAX;
    if (!Need(len)) return 0;
    uint64_t v = 0;
    for (uint8_t i = 0; i < len; ++i) v = (v << 8) | m_data[m_pos + i];
    m_pos += len;
    return v;
  }
  // A length byte and that many characters, cut to the field's room. Length
  // 0, or longer than the rest of the record, gives an empty string and
  // consumes the length byte only.
  void String(char* out, size_t room) {
    out[0] = 0;
    const uint8_t len = Byte();
    if (!m_ok || len == 0 || len > m_size - m_pos) return;
    CopyText(out, room, m_data + m_pos, len);
    m_pos += len;
  }
  // A string that is skipped whole.
  void SkipString() {
    const uint8_t len = Byte();
    if (m_ok && len) Skip(len);
  }

 private:
  bool Need(size_t n) {
    if (!m_ok || n > m_size - m_pos) {
      m_ok = false;
      return false;
    }
    return true;
  }
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos;
  bool m_ok = true;
};

bool ParseVolume(const LdmRawRecord& r, LdmVolumeRecord& v) {
  FieldReader f(r.bytes.data(), r.bytes.size(), 24);
  v.objectId = f.Number();
  f.String(v.name, sizeof v.name);
  f.String(v.typeText, sizeof v.typeText);
  f.SkipString();
  f.Raw(v.state, sizeof v.state);
  v.volumeType = f.Byte();
  f.Skip(1);
  v.volumeNumber = f.Byte();
  f.Skip(3);
  v.volumeFlags = f.Byte();
  v.childCount = f.Number();
  f.Skip(16);
  v.size = f.Number();
  f.Skip(4);
  v.partitionType = f.Byte();
  f.Raw(v.guid, sizeof v.guid);
  if (r.flags == 0x02) f.String(v.driveHint, sizeof v.driveHint);
  return f.ok();
}

bool ParseComponent(const LdmRawRecord& r, LdmComponentRecord& c) {
  FieldReader f(r.bytes.data(), r.bytes.size(), 24);
  c.objectId = f.Number();
  f.String(c.name, sizeof c.name);
  f.String(c.state, sizeof c.state);
  c.layout = f.Byte();
  f.Skip(4);
  c.childCount = f.Number();
  f.Skip(16);
  c.parentId = f.Number();
  if (r.flags == 0x10) {
    f.Skip(1);
    c.stripeSize = f.Number();
    c.columnCount = f.Number();
  }
  return f.ok();
}

bool ParsePartition(const LdmRawRecord& r, LdmPartitionRecord& p) {
  FieldReader f(r.bytes.data(), r.bytes.size(), 24);
  p.objectId = f.Number();
  f.String(p.name, sizeof p.name);
  f.Skip(12);
  p.start = f.Be64Field();
  p.volumeOffset = f.Be64Field();
  p.size = f.Number();
  p.parentId = f.Number();
  p.diskId = f.Number();
  if (r.flags == 0x08 || r.flags == 0x48) p.index = f.Number();
  return f.ok();
}

bool ParseDisk(const LdmRawRecord& r, LdmDiskRecord& d) {
  FieldReader f(r.bytes.data(), r.bytes.size(), 24);
  d.objectId = f.Number();
  f.String(d.name, sizeof d.name);
  if (r.type == 0x34) {
    f.String(d.diskId, sizeof d.diskId);
    f.String(d.altName, sizeof d.altName);
  } else {
    // The identifier as 16 bytes in GUID text order: written out as the text
    // the PRIVHEAD holds, so that member disks can be matched.
    uint8_t raw[16] = {};
    f.Raw(raw, sizeof raw);
    GuidText(raw, d.diskId, sizeof d.diskId);
  }
  return f.ok();
}

}  // namespace

void SetLdmVolumeServices(const LdmVolumeServices& services) { g_services = services; }

bool CompareLdmExtents(const LdmExtentRecord& a, const LdmExtentRecord& b) {
  if (a.volumeOffset != b.volumeOffset) return a.volumeOffset < b.volumeOffset;
  return a.ordinal < b.ordinal;
}

CLdmDatabase::~CLdmDatabase() {
  if (m_dumpFile >= 0) close(m_dumpFile);
}

// ---- PRIVHEAD ----

bool CLdmDatabase::ReadPrivHeadAt(IStorageDevice* disk, LdmPrivHead& out, uint64_t sector) {
  const int sectorSize = disk->GetSectorSize();
  if (sectorSize < 512 || sectorSize > 65536) return false;
  if (sector >= disk->GetSectorCount()) return false;
  std::vector<uint8_t> buf(size_t(sectorSize) > 4096 ? size_t(sectorSize) : 4096, 0);
  if (!disk->ReadSectors(buf.data(), sector, 1)) return false;
  const uint8_t* s = buf.data();
  if (memcmp(s, "PRIVHEAD", 8) != 0) return false;
  LdmPrivHead h;
  memcpy(h.magic, s, 8);
  h.versionMajor = ReadBE16(s + 12);
  h.versionMinor = ReadBE16(s + 14);
  CopyText(h.diskId, sizeof h.diskId, s + 48, 64);
  CopyText(h.hostId, sizeof h.hostId, s + 112, 64);
  CopyText(h.diskGroupId, sizeof h.diskGroupId, s + 176, 64);
  CopyText(h.diskGroupName, sizeof h.diskGroupName, s + 240, 32);
  h.logicalDiskStart = ReadBE64(s + 283);
  h.logicalDiskSize = ReadBE64(s + 291);
  h.configStart = ReadBE64(s + 299);
  h.configSize = ReadBE64(s + 307);
  h.tocCount = ReadBE64(s + 315);
  h.tocSize = ReadBE64(s + 323);
  h.configCount = ReadBE32(s + 331);
  h.logCount = ReadBE32(s + 335);
  h.configurationSize = ReadBE64(s + 339);
  h.logSize = ReadBE64(s + 347);
  h.diskSignature = ReadBE32(s + 355);
  out = h;
  return true;
}

bool CLdmDatabase::FindGptLdmMetadata(IStorageDevice* disk, LdmPrivHead& out) {
  const int sectorSize = disk->GetSectorSize();
  if (sectorSize < 512 || sectorSize > 65536) return false;
  std::vector<uint8_t> sec(size_t(sectorSize), 0);
  if (!disk->ReadSectors(sec.data(), 1, 1) || memcmp(sec.data(), "EFI PART", 8) != 0) return false;
  uint64_t lba = ReadLE64(sec.data() + 72);
  uint32_t remaining = ReadLE32(sec.data() + 80);
  const uint32_t entrySize = ReadLE32(sec.data() + 84);
  // Entries are at least 128 bytes and whole entries fit in a sector.
  if (entrySize < 128 || entrySize % 8 != 0 || entrySize > uint32_t(sectorSize)) return false;
  static const char kName[] = "LDM metadata partition";
  uint8_t name16[44] = {};
  for (size_t i = 0; i < 22; ++i) name16[2 * i] = uint8_t(kName[i]);
  // 5808C8AA-7E8F-42E0-85D2-E1E90434CFB3 as GPT stores it.
  static const uint8_t kType[16] = {0xAA, 0xC8, 0x08, 0x58, 0x8F, 0x7E, 0xE0, 0x42,
                                    0x85, 0xD2, 0xE1, 0xE9, 0x04, 0x34, 0xCF, 0xB3};
  const uint32_t perSector = uint32_t(sectorSize) / entrySize;
  while (remaining != 0 && remaining <= 128) {
    if (!disk->ReadSectors(sec.data(), lba, 1)) return false;
    const uint32_t take = remaining < perSector ? remaining : perSector;
    for (uint32_t i = 0; i < take; ++i) {
      const uint8_t* e = sec.data() + size_t(i) * entrySize;
      if (ReadLE64(e + 32) == 0) continue;
      if (memcmp(e + 56, name16, 43) != 0 && memcmp(e, kType, 16) != 0) continue;
      if (ReadPrivHeadAt(disk, out, ReadLE64(e + 40))) return true;
    }
    remaining -= take;
    ++lba;
  }
  return false;
}

bool CLdmDatabase::FindPrivHead(IStorageDevice* disk, LdmPrivHead& out) {
  const uint64_t n = disk->GetSectorCount();
  if (n == 0) return false;
  return ReadPrivHeadAt(disk, out, n - 1) || ReadPrivHeadAt(disk, out, 6) || ReadPrivHeadAt(disk, out, 2081) ||
         FindGptLdmMetadata(disk, out);
}

const LdmPrivHead* CLdmDatabase::CachedPrivHead(IStorageDevice* disk) {
  auto it = m_privHeads.find(disk);
  if (it == m_privHeads.end()) {
    std::unique_ptr<LdmPrivHead> head(new LdmPrivHead);
    if (!FindPrivHead(disk, *head)) head.reset();
    it = m_privHeads.emplace(disk, std::move(head)).first;
  }
  return it->second.get();
}

bool CLdmDatabase::IsDynamic(IStorageDevice* disk) {
  if (g_services.isDynamicDisk) return g_services.isDynamicDisk(disk);
  return CachedPrivHead(disk) != nullptr;
}

// ---- reading the records ----

bool CLdmDatabase::ReadDatabase(IStorageDevice* disk, const LdmPrivHead& head, std::vector<LdmRawRecord>& records) {
  records.clear();
  const int sectorSize = disk->GetSectorSize();
  if (sectorSize < 512 || sectorSize > kMaxSectorSize || sectorSize % 512 != 0) return false;
  const uint64_t diskSectors = disk->GetSectorCount();
  const uint64_t start = head.configStart;
  if (start >= diskSectors) return false;
  uint64_t count = kDatabaseSectors;
  if (diskSectors - start > 2 && diskSectors - start - 2 < kDatabaseSectors) count = diskSectors - start - 2;
  if (count > diskSectors - start) count = diskSectors - start;
  std::vector<uint8_t> buf(size_t(count) * size_t(sectorSize));
  if (!disk->ReadSectors(buf.data(), start, count)) return false;

  const size_t units = buf.size() / kUnit;
  struct Piece {
    uint16_t number;
    size_t unit;
  };
  std::unordered_map<uint32_t, std::vector<Piece>> pieces;  // by group, in buffer order
  for (size_t u = 0; u < units; ++u) {
    const uint8_t* p = buf.data() + u * kUnit;
    if (memcmp(p, "VBLK", 4) != 0) continue;
    const uint32_t group = ReadBE32(p + 8);
    const uint16_t number = ReadBE16(p + 12);
    const uint16_t total = ReadBE16(p + 14);
    if (group == 0 || total == 0) continue;
    if (number == 0) {
      LdmRawRecord r;
      r.group = group;
      r.recordCount = total;
      r.flags = p[18];
      r.type = p[19];
      r.dataLength = ReadBE32(p + 20);
      // The pieces of a record can carry no more than this; a longer length
      // is damage, not a reason to allocate.
      const uint64_t room = kFirstData + uint64_t(kMoreData) * (total - 1u);
      if (uint64_t(total) > units || r.dataLength > room) continue;
      r.bytes.assign(size_t(r.dataLength) + 24, 0);
      memcpy(r.bytes.data(), p, std::min(r.bytes.size(), kUnit));
      records.push_back(std::move(r));
    } else if (total > 1) {
      pieces[group].push_back(Piece{number, u});
    }
  }

  for (LdmRawRecord& r : records) {
    if (r.recordCount <= 1) continue;
    size_t missing = r.dataLength > kFirstData ? r.dataLength - kFirstData : 0;
    size_t at = kUnit;
    uint32_t expected = 1;
    auto it = pieces.find(r.group);
    if (it != pieces.end()) {
      for (const Piece& piece : it->second) {
        if (missing == 0) break;
        if (piece.number != expected) continue;
        const size_t take = std::min(missing, kMoreData);
        memcpy(r.bytes.data() + at, buf.data() + piece.unit * kUnit + 16, take);
        at += take;
        missing -= take;
        ++expected;
      }
    }
    if (missing != 0 || expected != r.recordCount) {
      r.valid = false;
      memset(r.bytes.data(), 0, 4);
    }
  }
  return true;
}

void CLdmDatabase::ParseRecords(const std::vector<LdmRawRecord>& records, int sectorSize, LdmRecordLists& lists) {
  for (const LdmRawRecord& r : records) {
    if (!r.valid || r.bytes.size() < 24 || memcmp(r.bytes.data(), "VBLK", 4) != 0) continue;
    switch (r.type) {
      case 0x51: {
        std::unique_ptr<LdmVolumeRecord> v(new LdmVolumeRecord);
        if (ParseVolume(r, *v)) lists.volumes.push_back(std::move(v));
        break;
      }
      case 0x32: {
        std::unique_ptr<LdmComponentRecord> c(new LdmComponentRecord);
        if (ParseComponent(r, *c)) lists.components.push_back(std::move(c));
        break;
      }
      case 0x33: {
        std::unique_ptr<LdmPartitionRecord> p(new LdmPartitionRecord);
        if (ParsePartition(r, *p)) lists.partitions.push_back(std::move(p));
        break;
      }
      case 0x34:
      case 0x44: {
        std::unique_ptr<LdmDiskRecord> d(new LdmDiskRecord);
        if (ParseDisk(r, *d)) lists.disks.push_back(std::move(d));
        break;
      }
      default:
        break;
    }
  }
  // LDM units are 512 bytes; the disk's sectors may be larger.
  const uint64_t per = sectorSize >= 512 ? uint64_t(sectorSize) / 512 : 1;
  for (auto& v : lists.volumes) v->size /= per;
  for (auto& p : lists.partitions) {
    p->size /= per;
    p->start /= per;
  }
  LinkRecords(lists);
}

void CLdmDatabase::LinkRecords(LdmRecordLists& lists) {
  // Each component and partition joins one chain only: records that repeat
  // an id must not link a record into two chains (or into itself).
  for (auto& v : lists.volumes) {
    for (auto& c : lists.components) {
      if (c->linked || c->parentId != v->objectId) continue;
      c->linked = true;
      c->next = v->components;
      v->components = c.get();
      for (auto& p : lists.partitions) {
        if (p->linked || p->parentId != c->objectId) continue;
        p->linked = true;
        p->next = c->partitions;
        c->partitions = p.get();
        for (auto& d : lists.disks)
          if (d->objectId == p->diskId) {
            p->disk = d.get();
            break;
          }
      }
    }
  }
}

// ---- volumes ----

IStorageDevice* CLdmDatabase::FindDiskDevice(const char* diskId) {
  if (!diskId[0]) return nullptr;
  for (IStorageDevice* disk : m_disks) {
    if (!IsDynamic(disk)) continue;
    const LdmPrivHead* head = CachedPrivHead(disk);
    if (head && strncasecmp(head->diskId, diskId, sizeof head->diskId) == 0) return disk;
  }
  return nullptr;
}

void CLdmDatabase::BuildExtents(const LdmComponentRecord& component, int sectorSize,
                                std::vector<LdmExtentRecord>& out) {
  const uint64_t per = sectorSize >= 512 ? uint64_t(sectorSize) / 512 : 1;
  uint64_t taken = 0;
  for (const LdmPartitionRecord* p = component.partitions; p && taken < component.childCount; p = p->next, ++taken) {
    LdmExtentRecord e;
    e.ordinal = uint32_t(p->index);
    e.sectorCount = p->size;
    e.volumeOffset = p->volumeOffset / per;
    if (p->disk) CopyText(e.diskId, sizeof e.diskId, reinterpret_cast<const uint8_t*>(p->disk->diskId), 64);
    e.device = FindDiskDevice(e.diskId);
    if (e.device) {
      const LdmPrivHead* head = CachedPrivHead(e.device);
      e.startSector = SaturatingAdd(p->start, head ? head->logicalDiskStart : 0);
    }
    out.push_back(e);
  }
}

void CLdmDatabase::BuildVolumeExtents(const LdmVolumeRecord& volume, int sectorSize,
                                      std::vector<LdmExtentRecord>& first, std::vector<LdmExtentRecord>& second) {
  first.clear();
  second.clear();
  const LdmComponentRecord* c = volume.components;
  if (c) BuildExtents(*c, sectorSize, first);
  if (c && c->next) BuildExtents(*c->next, sectorSize, second);
  std::sort(first.begin(), first.end(), CompareLdmExtents);
  std::sort(second.begin(), second.end(), CompareLdmExtents);
}

void CLdmDatabase::DetectFileSystem(EDynamicVolumeType type, LdmVolumeInfo& info, const uint8_t partitionType,
                                    const std::vector<LdmExtentRecord>& extents) {
  EFileSystemType fs = g_services.mbrTypeToFileSystem ? g_services.mbrTypeToFileSystem(partitionType)
                                                      : EFileSystemType::Unknown;
  info.fileSystemType = uint32_t(fs);
  std::vector<uint8_t> boot;
  if (!extents.empty() && extents[0].device) {
    const int ss = extents[0].device->GetSectorSize();
    if (ss >= 512 && ss <= 65536) {
      boot.assign(size_t(ss), 0);
      if (!extents[0].device->ReadSectors(boot.data(), extents[0].startSector, 1)) boot.clear();
    }
  }
  if (!boot.empty() && g_services.detectFromBootSector) {
    const EFileSystemType found = g_services.detectFromBootSector(boot.data(), int(boot.size()));
    if (found != EFileSystemType::Unknown) info.fileSystemType = uint32_t(found);
  }

  bool complete = !extents.empty();
  uint64_t sum = 0;
  for (const auto& e : extents) {
    if (!e.device || e.startSector > e.device->GetSectorCount() ||
        e.sectorCount > e.device->GetSectorCount() - e.startSector) {
      complete = false;
      break;
    }
    sum = SaturatingAdd(sum, e.sectorCount);
  }
  if (complete) {
    if (type == EDynamicVolumeType::Raid5) {
      const uint64_t n = extents.size();
      sum = uint64_t((static_cast<unsigned __int128>(sum) * (n - 1)) / n);
    }
    info.size = sum;
  } else if (!boot.empty() && g_services.bootSectorTotalSectors) {
    const EFileSystemType t = static_cast<EFileSystemType>(info.fileSystemType);
    uint64_t total = g_services.bootSectorTotalSectors(boot.data(), int(boot.size()), t);
    if (!IsFatFamily(t)) total = SaturatingAdd(total, 1);
    if (total > 1 || IsFatFamily(t)) info.size = total;
  }
}

IDynamicDevice* CLdmDatabase::CreateComponentDevice(const LdmComponentRecord& component, EDynamicVolumeType type,
                                                    LdmVolumeInfo& info, std::vector<LdmExtentRecord>& extents,
                                                    uint8_t partitionType) {
  std::vector<LdmExtentRecord*> list;
  for (auto& e : extents) list.push_back(&e);
  if (component.layout == 1) {
    DetectFileSystem(type, info, partitionType, extents);
    return CreateStripedVolumeDevice(type, info, list);
  }
  if (component.layout == 2) {
    DetectFileSystem(type, info, partitionType, extents);
    if (component.childCount < 2) return CreateSimpleVolumeDevice(type, info, list);
    return CreateSpannedVolumeDevice(type, info, list);
  }
  return nullptr;
}

IDynamicDevice* CLdmDatabase::BuildVolumeDevice(const LdmVolumeRecord& volume, LdmVolumeInfo& info,
                                                std::vector<LdmExtentRecord>& first,
                                                std::vector<LdmExtentRecord>& second) {
  const LdmComponentRecord* c = volume.components;
  std::vector<LdmExtentRecord*> list;
  for (auto& e : first) list.push_back(&e);
  const uint8_t partitionType = volume.partitionType;
  if (volume.volumeType == 3 && volume.childCount > 1) {
    LdmVolumeInfo firstInfo = info, secondInfo = info;
    IDynamicDevice* a = CreateComponentDevice(*c, EDynamicVolumeType::Mirror, firstInfo, first, partitionType);
    IDynamicDevice* b = c->next ? CreateComponentDevice(*c->next, EDynamicVolumeType::Mirror, secondInfo, second,
                                                        partitionType)
                                : nullptr;
    DetectFileSystem(EDynamicVolumeType::Mirror, info, partitionType, a ? first : second);
    IDynamicDevice* m = CreateMirrorVolumeDevice(EDynamicVolumeType::Mirror, info, a, b);
    if (!m) {
      delete a;
      delete b;
    }
    return m;
  }
  if (volume.volumeType == 3 && c->layout == 1) {
    DetectFileSystem(EDynamicVolumeType::Striped, info, partitionType, first);
    return CreateStripedVolumeDevice(EDynamicVolumeType::Striped, info, list);
  }
  if (volume.volumeType == 3 && c->layout == 2) {
    if (c->childCount < 2) {
      DetectFileSystem(EDynamicVolumeType::Simple, info, partitionType, first);
      return CreateSimpleVolumeDevice(EDynamicVolumeType::Simple, info, list);
    }
    DetectFileSystem(EDynamicVolumeType::Spanned, info, partitionType, first);
    return CreateSpannedVolumeDevice(EDynamicVolumeType::Spanned, info, list);
  }
  DetectFileSystem(EDynamicVolumeType::Raid5, info, partitionType, first);
  return CreateRaid5VolumeDevice(EDynamicVolumeType::Raid5, info, list);
}

DynamicVolumeEntry* CLdmDatabase::CreateVolumeEntry(IDynamicDevice* device, const LdmVolumeRecord& volume) {
  DynamicVolumeEntry* entry = new DynamicVolumeEntry;
  entry->device = device;
  entry->sectorCount = device->GetSectorCount();

  std::vector<LdmExtentRecord*> extents;
  device->CopyExtents(extents);
  bool memberNotDynamic = false;
  for (const LdmExtentRecord* e : extents)
    if (e->device && !IsDynamic(e->device)) memberNotDynamic = true;
  if (!memberNotDynamic) {
    char letter = device->GetDriveLetter();
    if (!letter && g_services.driveLetterOfVolumeGuid) letter = g_services.driveLetterOfVolumeGuid(volume.guid);
    if (!letter) {
      const char hint = volume.driveHint[0];
      if ((hint >= 'A' && hint <= 'Z') || (hint >= 'a' && hint <= 'z')) letter = char(hint & ~0x20);
    }
    entry->driveLetter = letter;
  }

  EFileSystemType fs = device->GetPartitionType();
  if (g_services.analyseVolume) fs = g_services.analyseVolume(device, fs);
  entry->fileSystem = fs;
  if (g_services.volumeLabel) {
    g_services.volumeLabel(device, fs, entry->label, int(sizeof entry->label));
    entry->label[sizeof entry->label - 1] = 0;
  }
  if (g_services.dynamicVolumeTypeName) {
    g_services.dynamicVolumeTypeName(device->GetVolumeType(), entry->typeName);
    entry->typeName[sizeof entry->typeName - 1] = 0;
  }
  return entry;
}

void CLdmDatabase::BuildVolumes(LdmRecordLists& lists, int sectorSize, std::vector<DynamicVolumeEntry*>& out) {
  const LdmPrivHead* head = m_currentDisk ? CachedPrivHead(m_currentDisk) : nullptr;
  std::vector<LdmExtentRecord> first, second;
  for (auto& vp : lists.volumes) {
    const LdmVolumeRecord& v = *vp;
    if ((v.volumeType != 3 && v.volumeType != 4) || !v.components) continue;
    bool usable = true;
    for (const LdmComponentRecord* c = v.components; c && usable; c = c->next) {
      if (c->layout < 1 || c->layout > 3 || !c->partitions) usable = false;
      for (const LdmPartitionRecord* p = c->partitions; p && usable; p = p->next)
        if (!p->disk) usable = false;
    }
    if (!usable) continue;

    LdmVolumeInfo info;
    if (head) CopyText(info.diskGroupName, sizeof info.diskGroupName, reinterpret_cast<const uint8_t*>(head->diskGroupName), 32);
    CopyText(info.volumeName, sizeof info.volumeName, reinterpret_cast<const uint8_t*>(v.name), sizeof v.name);
    info.fileSystemType = v.partitionType;
    info.size = v.size;

    BuildVolumeExtents(v, sectorSize, first, second);
    if (RunLogDebugEnabled()) {
      std::string text;
      size_t listed = 0;
      for (const auto& e : first) {
        if (++listed > 16) {
          text += " ...";
          break;
        }
        char line[160];
        snprintf(line, sizeof line, " [%" PRIu32 " %.64s %" PRIu64 "+%" PRIu64 " @%" PRIu64 "]", e.ordinal, e.diskId,
                 e.startSector, e.sectorCount, e.volumeOffset);
        text += line;
      }
      DebugTrace("LDM volume %.127s:%s", info.volumeName, text.c_str());
    }
    IDynamicDevice* device = BuildVolumeDevice(v, info, first, second);
    first.clear();
    second.clear();
    if (!device) continue;
    bool listed = false;
    for (DynamicVolumeEntry* e : out)
      if (e->device == device || (e->device && e->device->IsSameVolume(device))) listed = true;
    if (listed) {
      delete device;
      continue;
    }
    out.push_back(CreateVolumeEntry(device, v));
  }
}

bool CLdmDatabase::ReadDiskDatabase(IStorageDevice* disk, std::vector<DynamicVolumeEntry*>& out) {
  const LdmPrivHead* head = CachedPrivHead(disk);
  if (!head) return false;
  std::vector<LdmRawRecord> records;
  if (!ReadDatabase(disk, *head, records)) return false;
  LdmRecordLists lists;
  const int sectorSize = disk->GetSectorSize();
  ParseRecords(records, sectorSize, lists);
  BuildVolumes(lists, sectorSize, out);
  return true;
}

int CLdmDatabase::CollectDynamicVolumes(const std::vector<IStorageDevice*>& disks,
                                        std::vector<DynamicVolumeEntry*>& out) {
  m_disks.clear();
  m_privHeads.clear();
  for (IStorageDevice* d : disks)
    if (d) m_disks.push_back(d);
  for (IStorageDevice* d : m_disks) {
    m_currentDisk = d;
    ReadDiskDatabase(d, out);
  }
  m_currentDisk = nullptr;
  return int(out.size());
}

bool CLdmDatabase::OpenDumpFile() {
  if (m_dumpFile >= 0) close(m_dumpFile);
  const std::string path = platform::ProgramFile("LDMDataBase");
  m_dumpFile = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return m_dumpFile >= 0;
}

bool CLdmDatabase::WriteDump(const void* bytes, size_t count) {
  if (m_dumpFile < 0) return false;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    const ssize_t n = write(m_dumpFile, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= size_t(n);
  }
  return true;
}
