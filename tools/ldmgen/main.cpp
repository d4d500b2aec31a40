// ldmgen: writes a set of dynamic-disk images (MBR partition type 0x42 or
// GPT with the LDM metadata and data partitions) that carry one LDM disk
// group, with simple, spanned, striped, mirrored and RAID-5 volumes over one
// to three disks. Every volume sector is filled with a pattern that encodes
// the volume's number and the byte offset inside the volume: each 8-byte
// little-endian word at volume byte offset o holds (number << 48) | o.
// Beside the images it writes layout.txt, which lists the disk group, the
// disks, the volumes and their partitions.
//
// Usage: ldmgen --style mbr|gpt --disks 1|2|3 --out DIR
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ByteOrder.h"

namespace {

constexpr uint32_t kSector = 512;
constexpr uint64_t kDiskSectors = 16384;  // 8 MiB per disk
constexpr uint64_t kConfigSectors = 2048;
constexpr uint64_t kStripe = 128;

using Bytes = std::vector<uint8_t>;

void PutText(uint8_t* p, const std::string& s, size_t room) {
  memcpy(p, s.data(), s.size() < room ? s.size() : room);
}

uint32_t Crc32(const uint8_t* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Deterministic identifiers, so that a layout is the same on every run.
struct Random {
  uint64_t state;
  uint8_t Byte() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return uint8_t(state >> 56);
  }
};

struct Guid {
  uint8_t b[16];  // in text order
  std::string Text() const {
    char s[37];
    snprintf(s, sizeof s, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
             b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return s;
  }
  // The mixed-endian form GPT stores.
  void PutGpt(uint8_t* p) const {
    p[0] = b[3];
    p[1] = b[2];
    p[2] = b[1];
    p[3] = b[0];
    p[4] = b[5];
    p[5] = b[4];
    p[6] = b[7];
    p[7] = b[6];
    memcpy(p + 8, b + 8, 8);
  }
};

Guid NewGuid(Random& r) {
  Guid g;
  for (auto& x : g.b) x = r.Byte();
  g.b[6] = uint8_t((g.b[6] & 0x0F) | 0x40);
  g.b[8] = uint8_t((g.b[8] & 0x3F) | 0x80);
  return g;
}

Guid ParseGuid(const char* text) {
  Guid g{};
  int k = 0;
  for (const char* p = text; *p && k < 16; ++p) {
    if (*p == '-') continue;
    unsigned v = 0;
    sscanf(p, "%2x", &v);
    g.b[k++] = uint8_t(v);
    ++p;
  }
  return g;
}

struct Disk {
  std::string name;
  uint32_t id = 0;
  Guid guid{};
  std::string file;
  uint64_t dataStart = 0, dataSize = 0, configStart = 0;
  uint64_t nextFree = 0;  // relative to dataStart
  Bytes image;
  uint8_t* Sector(uint64_t lba) { return image.data() + lba * kSector; }
  int partCount = 0;
};

struct Part {
  std::string name;
  uint32_t id = 0;
  int disk = 0;
  uint64_t start = 0;  // relative to the disk's data start
  uint64_t size = 0;
  uint64_t volOffset = 0;
  uint32_t index = 0;
  int comp = 0;
};

struct Comp {
  std::string name;
  uint32_t id = 0;
  uint8_t layout = 2;  // 1 striped, 2 concatenated, 3 RAID
  uint64_t chunk = 0;
  uint32_t columns = 0;
  std::vector<int> parts;
  int vol = 0;
};

struct Vol {
  std::string name;
  uint32_t id = 0;
  int number = 0;
  std::string kind;  // simple, spanned, striped, mirrored, raid5
  uint8_t type = 3;  // 3 generic, 4 RAID-5
  uint64_t size = 0;
  std::vector<int> comps;
  std::string hint;
  Guid guid{};
};

struct Layout {
  bool gpt = false;
  std::string groupName = "LdmGenDg0";
  Guid groupGuid{}, hostGuid{};
  std::vector<Disk> disks;
  std::vector<Vol> vols;
  std::vector<Comp> comps;
  std::vector<Part> parts;
  uint32_t nextId = 1;
  uint32_t groupId = 0;
};

int AddPart(Layout& L, int comp, int disk, uint64_t size, uint64_t volOffset, uint32_t index) {
  Disk& d = L.disks[disk];
  Part p;
  p.id = L.nextId++;
  p.disk = disk;
  p.size = size;
  p.start = d.nextFree;
  d.nextFree += size;
  if (d.nextFree > d.dataSize) {
    fprintf(stderr, "ldmgen: disk %s is too small\n", d.name.c_str());
    exit(1);
  }
  p.volOffset = volOffset;
  p.index = index;
  p.comp = comp;
  char name[64];
  snprintf(name, sizeof name, "%s-%02d", d.name.c_str(), ++d.partCount);
  p.name = name;
  L.parts.push_back(p);
  L.comps[comp].parts.push_back(int(L.parts.size() - 1));
  return int(L.parts.size() - 1);
}

int AddComp(Layout& L, int vol, uint8_t layout, uint64_t chunk, uint32_t columns) {
  Comp c;
  c.id = L.nextId++;
  c.layout = layout;
  c.chunk = chunk;
  c.columns = columns;
  c.vol = vol;
  char name[160];
  snprintf(name, sizeof name, "%s-%02d", L.vols[vol].name.c_str(), int(L.vols[vol].comps.size() + 1));
  c.name = name;
  L.comps.push_back(c);
  L.vols[vol].comps.push_back(int(L.comps.size() - 1));
  return int(L.comps.size() - 1);
}

int AddVol(Layout& L, const std::string& name, const std::string& kind, const std::string& hint, Random& r) {
  Vol v;
  v.id = L.nextId++;
  v.name = name;
  v.kind = kind;
  v.type = kind == "raid5" ? 4 : 3;
  v.hint = hint;
  v.number = int(L.vols.size() + 1);
  v.guid = NewGuid(r);
  L.vols.push_back(v);
  return int(L.vols.size() - 1);
}

void BuildVolumes(Layout& L, Random& r) {
  const int n = int(L.disks.size());
  // A simple volume with a long name: its VBLK spans two entries.
  std::string longName = "SimpleVolume";
  while (longName.size() < 100) longName += "-long";
  int v = AddVol(L, longName, "simple", "E:", r);
  int c = AddComp(L, v, 2, 0, 0);
  AddPart(L, c, 0, 1000, 0, 0);
  L.vols[v].size = 1000;

  // Spanned: over every disk (two extents on one disk when there is one).
  v = AddVol(L, "Spanned", "spanned", "F:", r);
  c = AddComp(L, v, 2, 0, 0);
  const uint64_t spans[3] = {300, 500, 200};
  uint64_t off = 0;
  for (int i = 0; i < (n == 1 ? 2 : n); ++i) {
    AddPart(L, c, n == 1 ? 0 : i, spans[i], off, uint32_t(i));
    off += spans[i];
    if (n == 1) L.disks[0].nextFree += 64;  // a gap between the two extents
  }
  L.vols[v].size = off;
  if (n == 1) return;

  v = AddVol(L, "Striped", "striped", "", r);
  c = AddComp(L, v, 1, kStripe, uint32_t(n));
  for (int i = 0; i < n; ++i) AddPart(L, c, i, 4 * kStripe, 0, uint32_t(i));
  L.vols[v].size = uint64_t(n) * 4 * kStripe;

  v = AddVol(L, "Mirror", "mirrored", "", r);
  for (int h = 0; h < 2; ++h) {
    c = AddComp(L, v, 2, 0, 0);
    AddPart(L, c, h, 400, 0, 0);
  }
  L.vols[v].size = 400;
  if (n < 3) return;

  v = AddVol(L, "Raid5", "raid5", "G:", r);
  c = AddComp(L, v, 3, kStripe, 3);
  for (int i = 0; i < 3; ++i) AddPart(L, c, i, 5 * kStripe, 0, uint32_t(i));
  L.vols[v].size = 2 * 5 * kStripe;
}

// ---- volume data ----

void Pattern(int number, uint64_t volSector, uint8_t* out) {
  for (uint32_t i = 0; i < kSector; i += 8)
    WriteLE64(out + i, (uint64_t(number) << 48) | (volSector * kSector + i));
}

uint8_t* PartSector(Layout& L, const Part& p, uint64_t k) {
  Disk& d = L.disks[p.disk];
  return d.Sector(d.dataStart + p.start + k);
}

void WriteData(Layout& L) {
  for (Vol& v : L.vols) {
    for (int ci : v.comps) {
      Comp& c = L.comps[ci];
      const uint64_t n = c.parts.size();
      for (uint64_t col = 0; col < n; ++col) {
        Part& p = L.parts[c.parts[col]];
        for (uint64_t k = 0; k < p.size; ++k) {
          uint8_t* dst = PartSector(L, p, k);
          const uint64_t row = k / kStripe, within = k % kStripe;
          if (c.layout == 2) {
            Pattern(v.number, p.volOffset + k, dst);
          } else if (c.layout == 1) {
            Pattern(v.number, row * kStripe * n + p.index * kStripe + within, dst);
          } else {
            const uint64_t parity = n - 1 - row % n;
            if (p.index == parity) {
              memset(dst, 0, kSector);
              uint8_t data[kSector];
              for (uint64_t other = 0; other < n; ++other) {
                if (other == parity) continue;
                const uint64_t d = (other + n - parity - 1) % n;
                Pattern(v.number, row * kStripe * (n - 1) + d * kStripe + within, data);
                for (uint32_t b = 0; b < kSector; ++b) dst[b] ^= data[b];
              }
            } else {
              const uint64_t d = (p.index + n - parity - 1) % n;
              Pattern(v.number, row * kStripe * (n - 1) + d * kStripe + within, dst);
            }
          }
        }
      }
    }
  }
}

// ---- the LDM database ----

struct Record {
  Bytes b;
  void Num(uint64_t v) {
    uint8_t tmp[8];
    int len = 0;
    do {
      tmp[len++] = uint8_t(v);
      v >>= 8;
    } while (v);
    b.push_back(uint8_t(len));
    for (int i = len - 1; i >= 0; --i) b.push_back(tmp[i]);
  }
  void Str(const std::string& s) {
    b.push_back(uint8_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
  }
  void Zero(size_t n) { b.insert(b.end(), n, 0); }
  void Raw(const uint8_t* p, size_t n) { b.insert(b.end(), p, p + n); }
  void Be64(uint64_t v) {
    uint8_t t[8];
    WriteBE64(t, v);
    Raw(t, 8);
  }
  void Text(const std::string& s, size_t n) {
    Bytes t(n, 0);
    PutText(t.data(), s, n);
    Raw(t.data(), n);
  }
};

struct VblkWriter {
  Bytes area;  // the VBLK slots
  uint32_t seq = 4;
  uint32_t group = 1;
  void Add(uint8_t type, uint8_t flags, const Record& r) {
    Bytes full(8, 0);
    full[2] = flags;
    full[3] = type;
    WriteBE32(full.data() + 4, uint32_t(r.b.size()));
    full.insert(full.end(), r.b.begin(), r.b.end());
    const size_t pieces = (full.size() + 111) / 112;
    for (size_t k = 0; k < pieces; ++k) {
      uint8_t unit[128] = {};
      memcpy(unit, "VBLK", 4);
      WriteBE32(unit + 4, seq++);
      WriteBE32(unit + 8, group);
      WriteBE16(unit + 12, uint16_t(k));
      WriteBE16(unit + 14, uint16_t(pieces));
      const size_t from = k * 112;
      const size_t len = full.size() - from < 112 ? full.size() - from : 112;
      memcpy(unit + 16, full.data() + from, len);
      area.insert(area.end(), unit, unit + 128);
    }
    ++group;
  }
};

Bytes BuildVblks(Layout& L, uint32_t* lastSeq) {
  VblkWriter w;
  {
    Record r;
    r.Num(L.groupId);
    r.Str(L.groupName);
    r.Str(L.groupGuid.Text());
    r.Zero(9);
    w.Add(L.gpt ? 0x45 : 0x35, 0, r);
  }
  for (Disk& d : L.disks) {
    Record r;
    r.Num(d.id);
    r.Str(d.name);
    if (L.gpt) {
      r.Raw(d.guid.b, 16);
      r.Zero(16);
      w.Add(0x44, 0, r);
    } else {
      r.Str(d.guid.Text());
      r.Str("");
      r.Zero(12);
      w.Add(0x34, 0, r);
    }
  }
  for (Vol& v : L.vols) {
    Record r;
    r.Num(v.id);
    r.Str(v.name);
    r.Str(v.type == 4 ? "raid5" : "gen");
    r.Str("");
    r.Text("ACTIVE", 14);
    r.b.push_back(v.type);
    r.b.push_back(0);
    r.b.push_back(uint8_t(v.number));
    r.Zero(3);
    r.b.push_back(0);  // volume flags
    r.Num(v.comps.size());
    r.Zero(16);  // commit id, id
    r.Num(v.size);
    r.Zero(4);
    r.b.push_back(0x07);  // partition type: NTFS
    r.Raw(v.guid.b, 16);
    if (!v.hint.empty()) r.Str(v.hint);
    w.Add(0x51, v.hint.empty() ? 0 : 0x02, r);
  }
  for (Comp& c : L.comps) {
    Record r;
    r.Num(c.id);
    r.Str(c.name);
    r.Str("ACTIVE");
    r.b.push_back(c.layout);
    r.Zero(4);
    r.Num(c.parts.size());
    r.Zero(16);
    r.Num(L.vols[c.vol].id);
    r.Zero(1);
    const bool striped = c.layout != 2;
    if (striped) {
      r.Num(c.chunk);
      r.Num(c.columns);
    }
    w.Add(0x32, striped ? 0x10 : 0, r);
  }
  for (Part& p : L.parts) {
    Record r;
    r.Num(p.id);
    r.Str(p.name);
    r.Zero(12);
    r.Be64(p.start);
    r.Be64(p.volOffset);
    r.Num(p.size);
    r.Num(L.comps[p.comp].id);
    r.Num(L.disks[p.disk].id);
    r.Num(p.index);
    w.Add(0x33, 0x08, r);
  }
  *lastSeq = w.seq - 1;
  return w.area;
}

void WritePrivHead(Layout& L, Disk& d, uint8_t* s) {
  memset(s, 0, kSector);
  memcpy(s, "PRIVHEAD", 8);
  WriteBE32(s + 8, 0x2C);
  WriteBE16(s + 12, 2);
  WriteBE16(s + 14, L.gpt ? 12 : 11);
  PutText(s + 48, d.guid.Text(), 64);
  PutText(s + 112, L.hostGuid.Text(), 64);
  PutText(s + 176, L.groupGuid.Text(), 64);
  PutText(s + 240, L.groupName, 31);
  WriteBE64(s + 283, d.dataStart);
  WriteBE64(s + 291, d.dataSize);
  WriteBE64(s + 299, d.configStart);
  WriteBE64(s + 307, kConfigSectors);
  WriteBE64(s + 315, 2);     // TOCs
  WriteBE64(s + 323, 1);     // TOC size
  WriteBE32(s + 331, 1);     // configurations
  WriteBE32(s + 335, 1);     // logs
  WriteBE64(s + 339, 1472);  // configuration size
  WriteBE64(s + 347, 224);   // log size
  WriteBE32(s + 355, 0x4C444D00u + d.id);
}

void WriteToc(uint8_t* s) {
  memset(s, 0, kSector);
  memcpy(s, "TOCBLOCK", 8);
  WriteBE32(s + 8, 1);
  WriteBE32(s + 16, 1);
  memcpy(s + 36, "config", 6);
  WriteBE64(s + 46, 17);
  WriteBE64(s + 54, 1472);
  memcpy(s + 70, "log", 3);
  WriteBE64(s + 80, 17 + 1472);
  WriteBE64(s + 88, 224);
}

void WriteDatabase(Layout& L) {
  uint32_t lastSeq = 0;
  const Bytes vblks = BuildVblks(L, &lastSeq);
  uint32_t nVol = uint32_t(L.vols.size()), nComp = uint32_t(L.comps.size());
  uint32_t nPart = uint32_t(L.parts.size()), nDisk = uint32_t(L.disks.size());
  for (Disk& d : L.disks) {
    const uint64_t cs = d.configStart;
    WriteToc(d.Sector(cs + 1));
    WriteToc(d.Sector(cs + 2));
    WriteToc(d.Sector(cs + kConfigSectors - 3));
    WriteToc(d.Sector(cs + kConfigSectors - 2));
    uint8_t* vm = d.Sector(cs + 17);
    memcpy(vm, "VMDB", 4);
    WriteBE32(vm + 4, lastSeq);
    WriteBE32(vm + 8, 128);
    WriteBE32(vm + 12, 512);
    WriteBE16(vm + 16, 1);
    WriteBE16(vm + 18, 4);
    WriteBE16(vm + 20, 10);
    PutText(vm + 22, L.groupName, 31);
    PutText(vm + 53, L.groupGuid.Text(), 64);
    WriteBE64(vm + 117, 7);
    WriteBE64(vm + 125, 7);
    WriteBE32(vm + 133, nVol);
    WriteBE32(vm + 137, nComp);
    WriteBE32(vm + 141, nPart);
    WriteBE32(vm + 145, nDisk);
    memcpy(d.Sector(cs + 18), vblks.data(), vblks.size());
    WritePrivHead(L, d, d.Sector(cs + 1856));
    WritePrivHead(L, d, d.Sector(cs + kConfigSectors - 1));
    if (!L.gpt) WritePrivHead(L, d, d.Sector(6));
  }
}

// ---- partition tables ----

void WriteMbrEntry(uint8_t* mbr, int slot, uint8_t type, uint64_t start, uint64_t count) {
  uint8_t* e = mbr + 446 + 16 * slot;
  e[1] = 0xFE;
  e[2] = 0xFF;
  e[3] = 0xFF;
  e[4] = type;
  e[5] = 0xFE;
  e[6] = 0xFF;
  e[7] = 0xFF;
  WriteLE32(e + 8, uint32_t(start));
  WriteLE32(e + 12, uint32_t(count > 0xFFFFFFFFu ? 0xFFFFFFFFu : count));
}

struct GptPart {
  const char* type;
  const char* name;
  uint64_t first, last;
};

void WriteGpt(Disk& d, Random& r, const std::vector<GptPart>& parts) {
  const uint64_t n = d.image.size() / kSector;
  Bytes entries(128 * 128, 0);
  for (size_t i = 0; i < parts.size(); ++i) {
    uint8_t* e = entries.data() + 128 * i;
    ParseGuid(parts[i].type).PutGpt(e);
    NewGuid(r).PutGpt(e + 16);
    WriteLE64(e + 32, parts[i].first);
    WriteLE64(e + 40, parts[i].last);
    const char* nm = parts[i].name;
    for (int k = 0; nm[k] && k < 36; ++k) WriteLE16(e + 56 + 2 * k, uint16_t(uint8_t(nm[k])));
  }
  const uint32_t entriesCrc = Crc32(entries.data(), entries.size());
  const Guid diskGuid = NewGuid(r);
  auto header = [&](uint64_t self, uint64_t other, uint64_t entriesLba) {
    uint8_t* h = d.Sector(self);
    memset(h, 0, kSector);
    memcpy(h, "EFI PART", 8);
    WriteLE32(h + 8, 0x00010000u);
    WriteLE32(h + 12, 92);
    WriteLE64(h + 24, self);
    WriteLE64(h + 32, other);
    WriteLE64(h + 40, 34);
    WriteLE64(h + 48, n - 34);
    diskGuid.PutGpt(h + 56);
    WriteLE64(h + 72, entriesLba);
    WriteLE32(h + 80, 128);
    WriteLE32(h + 84, 128);
    WriteLE32(h + 88, entriesCrc);
    WriteLE32(h + 16, Crc32(h, 92));
    memcpy(d.Sector(entriesLba), entries.data(), entries.size());
  };
  header(1, n - 1, 2);
  header(n - 1, 1, n - 33);
  uint8_t* mbr = d.Sector(0);
  WriteMbrEntry(mbr, 0, 0xEE, 1, n - 1);
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
}

void LayOutDisks(Layout& L, Random& r, int count, const std::string& out) {
  for (int i = 0; i < count; ++i) {
    Disk d;
    d.name = "Disk" + std::to_string(i + 1);
    d.guid = NewGuid(r);
    d.file = "disk" + std::to_string(i + 1) + ".img";
    d.image.assign(kDiskSectors * kSector, 0);
    (void)out;
    if (L.gpt) {
      d.configStart = 34;
      d.dataStart = 34 + kConfigSectors + 128;  // after the metadata and reserved partitions
      d.dataSize = (kDiskSectors - 34) - d.dataStart + 1;
    } else {
      d.configStart = kDiskSectors - kConfigSectors;
      d.dataStart = 63;
      d.dataSize = d.configStart - d.dataStart;
    }
    L.disks.push_back(std::move(d));
  }
  for (Disk& d : L.disks) d.id = L.nextId++;
}

void WriteTables(Layout& L, Random& r) {
  for (Disk& d : L.disks) {
    if (L.gpt) {
      WriteGpt(d, r,
               {{"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved partition", 34 + kConfigSectors,
                 d.dataStart - 1},
                {"AF9B60A0-1431-4F62-BC68-3311714A69AD", "LDM data partition", d.dataStart,
                 d.dataStart + d.dataSize - 1},
                {"5808C8AA-7E8F-42E0-85D2-E1E90434CFB3", "LDM metadata partition", 34, 34 + kConfigSectors - 1}});
    } else {
      uint8_t* mbr = d.Sector(0);
      WriteLE32(mbr + 440, 0x4C444D00u + d.id);
      WriteMbrEntry(mbr, 0, 0x42, d.dataStart, kDiskSectors - d.dataStart);
      mbr[510] = 0x55;
      mbr[511] = 0xAA;
    }
  }
}

bool WriteFile(const std::string& path, const Bytes& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

bool WriteManifest(Layout& L, const std::string& path) {
  FILE* f = fopen(path.c_str(), "w");
  if (!f) return false;
  fprintf(f, "group %s %s %s\n", L.groupGuid.Text().c_str(), L.groupName.c_str(), L.gpt ? "gpt" : "mbr");
  for (Disk& d : L.disks)
    fprintf(f, "disk %s %s %s %" PRIu64 " %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", d.name.c_str(),
            d.guid.Text().c_str(), d.file.c_str(), d.dataStart, d.dataSize, d.configStart, kConfigSectors);
  for (Vol& v : L.vols) {
    const Comp& c0 = L.comps[v.comps[0]];
    fprintf(f, "volume %s %s %d %" PRIu64 " %" PRIu64 " %s\n", v.name.c_str(), v.kind.c_str(), v.number, v.size,
            c0.chunk, v.hint.empty() ? "-" : v.hint.c_str());
    for (int ci : v.comps)
      for (int pi : L.comps[ci].parts) {
        const Part& p = L.parts[pi];
        fprintf(f, "part %s %s %s %" PRIu64 " %" PRIu64 " %" PRIu64 " %u\n", v.name.c_str(), p.name.c_str(),
                L.disks[p.disk].name.c_str(), p.start, p.size, p.volOffset, p.index);
      }
  }
  return fclose(f) == 0;
}

int Usage() {
  fprintf(stderr, "usage: ldmgen --style mbr|gpt --disks 1|2|3 --out DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string style = "mbr", out;
  int disks = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--style")
      style = argv[i + 1];
    else if (k == "--disks")
      disks = atoi(argv[i + 1]);
    else if (k == "--out")
      out = argv[i + 1];
    else
      return Usage();
  }
  if (out.empty() || disks < 1 || disks > 3 || (style != "mbr" && style != "gpt")) return Usage();

  Layout L;
  L.gpt = style == "gpt";
  Random r{0x1D3A5EEDull + uint64_t(disks) * 131 + (L.gpt ? 7 : 0)};
  L.groupGuid = NewGuid(r);
  L.hostGuid = NewGuid(r);
  L.groupId = L.nextId++;
  LayOutDisks(L, r, disks, out);
  BuildVolumes(L, r);
  WriteTables(L, r);
  WriteDatabase(L);
  WriteData(L);
  for (Disk& d : L.disks) {
    if (!WriteFile(out + "/" + d.file, d.image)) {
      fprintf(stderr, "ldmgen: cannot write %s/%s: %s\n", out.c_str(), d.file.c_str(), strerror(errno));
      return 1;
    }
  }
  if (!WriteManifest(L, out + "/layout.txt")) {
    fprintf(stderr, "ldmgen: cannot write %s/layout.txt\n", out.c_str());
    return 1;
  }
  return 0;
}
