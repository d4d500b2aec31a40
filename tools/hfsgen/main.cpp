// hfsgen: writes a small HFS+ volume image (case-insensitive, 'H+' version 4)
// from a description given on the command line or in a manifest file.
//
//   hfsgen -o OUT.img [-m MANIFEST] [options...]
//
// Options (each also a manifest line, without the leading dashes, with its
// argument after a blank):
//   --name TEXT            volume name (UTF-8; stored as UTF-16 big-endian)
//   --size BYTES           image size (suffixes K, M accepted), default 4M
//   --blocksize BYTES      allocation block size (512 .. 65536, power of 2), default 4096
//   --journal BYTES        add a journal of that size (journal info block + empty journal)
//   --nodesize BYTES       B-tree node size (512 .. 32768, power of 2), default 4096
//   --catalog-extents N    split the catalog file into N extents (N > 8 spills into
//                          the extents overflow tree)
//   --folder PATH          a folder (parents are made as needed)
//   --file PATH=HOSTFILE[:EXTENTS]   a file with the bytes of HOSTFILE, split into
//                          EXTENTS separate runs (more than 8: the rest go to the
//                          extents overflow tree)
//   --text PATH=TEXT       a file holding TEXT
//   --xattr PATH=NAME=VALUE an inline extended attribute (creates the attributes file)
//   --attributes           create an (empty) attributes file
//   --deleted PATH=HOSTFILE[:EXTENTS]  a file deleted since the journal's last
//                          transaction: its data blocks are left in place (free in
//                          the bitmap) and the journal holds the older catalog leaves
//                          (and extents leaves) that still name it; PATH may name a
//                          live file too (the name reused under a new id)
//   --deleted-text PATH=TEXT   the same with TEXT as the bytes
//   --deleted-folder PATH  a deleted folder
//   --journal-copies N     log the older leaves in N transactions; the earlier ones
//                          give the deleted records dates one day earlier per copy
//   --compressed PATH=HOSTFILE   a compressed file (UF_COMPRESSED): the bytes of
//                          HOSTFILE deflated into its com.apple.decmpfs attribute
//   --compressed-fork PATH=HOSTFILE[:EXTENTS]   the same with the deflated chunks
//                          in the resource fork, split into EXTENTS runs (more than
//                          8: the rest go to the extents overflow tree, fork 0xFF)
//   --deleted-compressed, --deleted-compressed-fork   the same, deleted (the
//                          journal also logs the older attributes leaves)
//   --alias PATH=FOLDER    a directory alias of the folder FOLDER: a file of type
//                          'fdrp', creator 'MACS', Finder flag kIsAlias, whose
//                          resource fork holds the folder's 'alis' resource
// In a manifest, `file PATH HOSTFILE [EXTENTS]` (and so the compressed ones), `text PATH TEXT...`,
// `xattr PATH NAME VALUE...`, `alias PATH FOLDER`; '#' starts a comment line.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ByteOrder.h"
#include "HFSPlusUnicode.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- byte helpers
void Append16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
void Append32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
}

std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    uint8_t c = static_cast<uint8_t>(s[i]);
    uint32_t cp;
    size_t n;
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      n = 3;
    } else {
      cp = c & 0x07;
      n = 4;
    }
    if (i + n > s.size()) throw std::runtime_error("bad UTF-8 in " + s);
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<uint8_t>(s[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

uint64_t ParseSize(const std::string& s) {
  if (s.empty()) throw std::runtime_error("empty size");
  char* end = nullptr;
  uint64_t v = std::strtoull(s.c_str(), &end, 0);
  std::string suffix(end);
  if (suffix == "K" || suffix == "k")
    v *= 1024;
  else if (suffix == "M" || suffix == "m")
    v *= 1024 * 1024;
  else if (!suffix.empty())
    throw std::runtime_error("bad size " + s);
  return v;
}

// ---------------------------------------------------------------- description
struct Extent {
  uint32_t start = 0;
  uint32_t count = 0;
};

struct Item {
  bool folder = false;
  std::u16string name;
  uint32_t id = 0;
  uint32_t parent = 0;
  Bytes data;  // files
  unsigned fragments = 1;
  std::vector<Extent> extents;
  std::map<std::u16string, Bytes> xattrs;
  // A compressed file: its data fork is empty, the bytes are in the
  // com.apple.decmpfs attribute or, past its header, in the resource fork.
  bool compressed = false;
  Bytes rsrc;
  unsigned rsrcFragments = 1;
  std::vector<Extent> rsrcExtents;
  std::vector<uint32_t> children;
  uint32_t finderFlags = 0;
  uint32_t fileType = 0, creator = 0;
  bool deleted = false;     // only in the journal's older catalog
  std::string aliasTarget;  // a directory alias: the folder it names
};

struct Volume {
  std::u16string name = u"Untitled";
  uint64_t size = 4 * 1024 * 1024;
  uint32_t blockSize = 4096;
  uint64_t journalSize = 0;
  uint32_t nodeSize = 4096;
  unsigned catalogExtents = 1;
  unsigned journalCopies = 1;
  bool attributes = false;
  std::vector<Item> items;  // root folder (id 2) first, then ids 16, 17, ...
  std::map<std::string, uint32_t> paths;
  std::map<std::string, uint32_t> deletedPaths;

  Volume() {
    Item root;
    root.folder = true;
    root.id = 2;
    root.parent = 1;
    items.push_back(root);
    paths["/"] = 2;
  }
  Item& ById(uint32_t id) { return items.at(id == 2 ? 0 : id - 15); }

  uint32_t Add(const std::string& path, bool folder, bool deleted = false) {
    if (path.empty() || path[0] != '/') throw std::runtime_error("paths begin with '/': " + path);
    auto it = deleted ? deletedPaths.find(path) : paths.find(path);
    if (it != (deleted ? deletedPaths.end() : paths.end())) {
      if (ById(it->second).folder != folder || !folder) throw std::runtime_error("path given twice: " + path);
      return it->second;
    }
    size_t slash = path.find_last_of('/');
    std::string parentPath = slash == 0 ? "/" : path.substr(0, slash);
    std::string leaf = path.substr(slash + 1);
    if (leaf.empty()) throw std::runtime_error("empty name in " + path);
    // A deleted item lies in a deleted folder or a live one.
    auto deletedParent = deletedPaths.find(parentPath);
    uint32_t parent = deleted && deletedParent != deletedPaths.end() ? deletedParent->second : Add(parentPath, true);
    Item item;
    item.folder = folder;
    item.deleted = deleted;
    item.name = Utf8ToUtf16(leaf);
    if (item.name.size() > 255) throw std::runtime_error("name longer than 255 units: " + leaf);
    item.id = static_cast<uint32_t>(items.size() + 15);
    item.parent = parent;
    items.push_back(item);
    if (!deleted) ById(parent).children.push_back(item.id);
    (deleted ? deletedPaths : paths)[path] = item.id;
    return item.id;
  }
};

// ---------------------------------------------------------------- B-trees
struct Record {
  Bytes key;  // with its keyLength field
  Bytes data;
};

struct BTreeShape {
  uint32_t nodeSize = 4096;
  uint16_t maxKeyLength = 0;
  uint8_t keyCompareType = 0;
  uint32_t attributes = 0;  // 2 big keys, 4 variable index keys
  bool variableIndexKeys = false;
};

struct BuiltTree {
  std::vector<Bytes> nodes;  // node 0 = header node
  uint32_t usedNodes = 0;
};

// Lays records into nodes of nodeSize; returns the records of each node.
std::vector<std::vector<Record>> Pack(const std::vector<Record>& recs, uint32_t nodeSize) {
  std::vector<std::vector<Record>> nodes;
  std::vector<Record> cur;
  size_t used = 14 + 2;  // descriptor + free-space offset
  for (const Record& r : recs) {
    size_t len = r.key.size() + r.data.size();
    if (14 + len + 4 > nodeSize) throw std::runtime_error("record larger than a node");
    if (!cur.empty() && used + len + 2 > nodeSize) {
      nodes.push_back(cur);
      cur.clear();
      used = 16;
    }
    cur.push_back(r);
    used += len + 2;
  }
  if (!cur.empty()) nodes.push_back(cur);
  return nodes;
}

Bytes MakeNode(uint32_t nodeSize, int8_t kind, uint8_t height, const std::vector<Bytes>& recs) {
  Bytes n(nodeSize, 0);
  WriteBE16(&n[10], static_cast<uint32_t>(recs.size()));
  n[8] = static_cast<uint8_t>(kind);
  n[9] = height;
  uint32_t off = 14;
  for (size_t i = 0; i < recs.size(); ++i) {
    WriteBE16(&n[nodeSize - 2 * (i + 1)], off);
    std::memcpy(&n[off], recs[i].data(), recs[i].size());
    off += static_cast<uint32_t>(recs[i].size());
  }
  WriteBE16(&n[nodeSize - 2 * (recs.size() + 1)], off);
  return n;
}

// Number of nodes (header included) the records need.
uint32_t NodesNeeded(const std::vector<Record>& recs, const BTreeShape& shape) {
  if (recs.empty()) return 1;
  uint32_t total = 1;
  std::vector<Record> level = recs;
  for (;;) {
    auto packed = Pack(level, shape.nodeSize);
    total += static_cast<uint32_t>(packed.size());
    if (packed.size() == 1) return total;
    std::vector<Record> up;
    for (auto& n : packed) {
      Record r;
      r.key = n.front().key;
      r.data.assign(4, 0);
      up.push_back(r);
    }
    level = up;
  }
}

BuiltTree BuildTree(const std::vector<Record>& recs, const BTreeShape& shape, uint32_t totalNodes, uint32_t clumpSize) {
  BuiltTree t;
  t.nodes.assign(totalNodes, Bytes(shape.nodeSize, 0));
  uint32_t next = 1;
  uint32_t depth = 0, root = 0, firstLeaf = 0, lastLeaf = 0;
  std::vector<Record> level = recs;
  int8_t kind = -1;
  uint8_t height = 1;
  while (!level.empty()) {
    auto packed = Pack(level, shape.nodeSize);
    uint32_t first = next;
    std::vector<Record> up;
    for (size_t i = 0; i < packed.size(); ++i) {
      std::vector<Bytes> raw;
      for (auto& r : packed[i]) {
        Bytes b = r.key;
        b.insert(b.end(), r.data.begin(), r.data.end());
        raw.push_back(b);
      }
      uint32_t num = first + static_cast<uint32_t>(i);
      if (num >= totalNodes) throw std::runtime_error("tree needs more nodes than its file holds");
      Bytes node = MakeNode(shape.nodeSize, kind, height, raw);
      WriteBE32(&node[0], i + 1 < packed.size() ? num + 1 : 0);
      WriteBE32(&node[4], i > 0 ? num - 1 : 0);
      t.nodes[num] = node;
      Record ir;
      ir.key = packed[i].front().key;
      if (!shape.variableIndexKeys)
        ir.key.resize(shape.maxKeyLength + 2, 0), WriteBE16(ir.key.data(), shape.maxKeyLength);
      ir.data.resize(4);
      WriteBE32(ir.data.data(), num);
      up.push_back(ir);
    }
    next = first + static_cast<uint32_t>(packed.size());
    depth = height;
    if (kind == -1) {
      firstLeaf = first;
      lastLeaf = next - 1;
    }
    if (packed.size() == 1) {
      root = first;
      break;
    }
    level = up;
    kind = 0;
    ++height;
  }
  t.usedNodes = next;

  // Header node: header record, user data record, map record.
  Bytes hdr(106, 0);
  WriteBE16(&hdr[0], depth);
  WriteBE32(&hdr[2], root);
  WriteBE32(&hdr[6], static_cast<uint32_t>(recs.size()));
  WriteBE32(&hdr[10], firstLeaf);
  WriteBE32(&hdr[14], lastLeaf);
  WriteBE16(&hdr[18], shape.nodeSize);
  WriteBE16(&hdr[20], shape.maxKeyLength);
  WriteBE32(&hdr[22], totalNodes);
  WriteBE32(&hdr[26], totalNodes - t.usedNodes);
  WriteBE32(&hdr[32], clumpSize);
  hdr[36] = 0;
  hdr[37] = shape.keyCompareType;
  WriteBE32(&hdr[38], shape.attributes);
  Bytes user(128, 0);
  Bytes map(shape.nodeSize - 14 - 106 - 128 - 8, 0);
  if (totalNodes > map.size() * 8) throw std::runtime_error("tree too large for its header map");
  for (uint32_t i = 0; i < t.usedNodes; ++i) map[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  t.nodes[0] = MakeNode(shape.nodeSize, 1, 0, {hdr, user, map});
  return t;
}

// ---------------------------------------------------------------- keys and records
Bytes CatalogKey(uint32_t parent, const std::u16string& name) {
  Bytes k;
  Append16(k, static_cast<uint32_t>(6 + 2 * name.size()));
  Append32(k, parent);
  Append16(k, static_cast<uint32_t>(name.size()));
  for (char16_t c : name) Append16(k, c);
  return k;
}

int CompareCatalogKeyBytes(const Bytes& a, const Bytes& b) {
  auto get32 = [](const Bytes& k, size_t o) { return ReadBE32(k.data() + o); };
  auto name = [](const Bytes& k) {
    std::u16string s;
    size_t n = ReadBE16(k.data() + 6);
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(ReadBE16(k.data() + 8 + 2 * i)));
    return s;
  };
  uint32_t pa = get32(a, 2), pb = get32(b, 2);
  if (pa != pb) return pa < pb ? -1 : 1;
  std::u16string na = name(a), nb = name(b);
  return CompareHFSPlusNames(na.data(), na.size(), nb.data(), nb.size());
}

const uint32_t kDate = 3786825600u;  // 2024-01-01 00:00:00 in seconds since 1904

const uint8_t kOwnerCompressed = 0x20;  // UF_COMPRESSED

void PutBsdInfo(uint8_t* p, bool folder, uint8_t ownerFlags = 0) {
  WriteBE32(p + 0, 0);  // owner
  WriteBE32(p + 4, 0);  // group
  p[8] = 0;             // admin flags
  p[9] = ownerFlags;
  WriteBE16(p + 10, folder ? 040755 : 0100644);
}

void PutForkData(uint8_t* p, uint64_t logicalSize, uint32_t blockSize, const std::vector<Extent>& ext) {
  uint32_t total = 0;
  for (const Extent& e : ext) total += e.count;
  WriteBE64(p, logicalSize);
  WriteBE32(p + 8, 0);
  WriteBE32(p + 12, total);
  for (size_t i = 0; i < ext.size() && i < 8; ++i) {
    WriteBE32(p + 16 + 8 * i, ext[i].start);
    WriteBE32(p + 20 + 8 * i, ext[i].count);
  }
  (void)blockSize;
}

Bytes FolderRecord(const Item& f, bool hasXattrs, uint32_t date = kDate) {
  Bytes r(88, 0);
  WriteBE16(&r[0], 1);
  WriteBE16(&r[2], hasXattrs ? 0x0004 : 0);
  WriteBE32(&r[4], static_cast<uint32_t>(f.children.size()));
  WriteBE32(&r[8], f.id);
  for (int i = 0; i < 5; ++i) WriteBE32(&r[12 + 4 * i], date);
  PutBsdInfo(&r[32], true);
  return r;
}

Bytes FileRecord(const Item& f, uint32_t blockSize, uint32_t date = kDate) {
  Bytes r(248, 0);
  WriteBE16(&r[0], 2);
  WriteBE16(&r[2], 0x0002 | (f.xattrs.empty() ? 0 : 0x0004));  // thread exists, has attributes
  WriteBE32(&r[8], f.id);
  for (int i = 0; i < 5; ++i) WriteBE32(&r[12 + 4 * i], date);
  PutBsdInfo(&r[32], false, f.compressed ? kOwnerCompressed : 0);
  WriteBE32(&r[48], f.fileType);
  WriteBE32(&r[52], f.creator);
  WriteBE16(&r[56], f.finderFlags);
  PutForkData(&r[88], f.data.size(), blockSize, f.extents);
  PutForkData(&r[168], f.rsrc.size(), blockSize, f.rsrcExtents);
  return r;
}

Bytes ThreadRecord(bool folder, uint32_t parent, const std::u16string& name) {
  Bytes r;
  Append16(r, folder ? 3 : 4);
  Append16(r, 0);
  Append32(r, parent);
  Append16(r, static_cast<uint32_t>(name.size()));
  for (char16_t c : name) Append16(r, c);
  return r;
}

const uint8_t kDataFork = 0, kResourceFork = 0xFF;

Bytes ExtentKey(uint32_t fileId, uint32_t startBlock, uint8_t forkType) {
  Bytes k;
  Append16(k, 10);
  k.push_back(forkType);
  k.push_back(0);
  Append32(k, fileId);
  Append32(k, startBlock);
  return k;
}

// Extent overflow records of a fork whose extents go past the first eight.
void OverflowRecords(uint32_t fileId, const std::vector<Extent>& ext, std::vector<Record>& out,
                     uint8_t forkType = kDataFork) {
  uint32_t before = 0;
  for (size_t i = 0; i < ext.size(); ++i) {
    if (i >= 8 && i % 8 == 0) {
      Record r;
      r.key = ExtentKey(fileId, before, forkType);
      r.data.assign(64, 0);
      for (size_t k = 0; k < 8 && i + k < ext.size(); ++k) {
        WriteBE32(&r.data[8 * k], ext[i + k].start);
        WriteBE32(&r.data[8 * k + 4], ext[i + k].count);
      }
      out.push_back(r);
    }
    before += ext[i].count;
  }
}

// Both forks' overflow records of an item.
void ItemOverflowRecords(const Item& it, std::vector<Record>& out) {
  OverflowRecords(it.id, it.extents, out, kDataFork);
  OverflowRecords(it.id, it.rsrcExtents, out, kResourceFork);
}

// ---------------------------------------------------------------- allocation
class Allocator {
 public:
  explicit Allocator(uint32_t total) : m_used(total, false), m_next(0) {}
  void Mark(uint32_t first, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) m_used.at(first + i) = true;
  }
  void Unmark(uint32_t first, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) m_used.at(first + i) = false;
  }
  // `blocks` blocks in `pieces` runs separated by one free block each.
  std::vector<Extent> Take(uint32_t blocks, unsigned pieces) {
    std::vector<Extent> out;
    if (blocks == 0) return out;
    if (pieces < 1) pieces = 1;
    if (pieces > blocks) pieces = blocks;
    for (unsigned p = 0; p < pieces; ++p) {
      uint32_t n = blocks / pieces + (p < blocks % pieces ? 1 : 0);
      while (m_next < m_used.size() && m_used[m_next]) ++m_next;
      if (m_next + n > m_used.size()) throw std::runtime_error("the volume is full");
      for (uint32_t i = 0; i < n; ++i)
        if (m_used[m_next + i]) throw std::runtime_error("the volume is full");
      Mark(m_next, n);
      out.push_back({m_next, n});
      m_next += n;
      if (pieces > 1) ++m_next;  // leave a gap so the runs stay apart
    }
    return out;
  }
  uint32_t FreeCount() const {
    uint32_t n = 0;
    for (bool b : m_used) n += b ? 0 : 1;
    return n;
  }
  Bytes Bitmap(size_t bytes) const {
    Bytes b(bytes, 0);
    for (size_t i = 0; i < m_used.size(); ++i)
      if (m_used[i]) b[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return b;
  }
  uint32_t Next() const { return m_next; }

 private:
  std::vector<bool> m_used;
  uint32_t m_next;
};

uint32_t BlocksFor(uint64_t bytes, uint32_t blockSize) {
  return static_cast<uint32_t>((bytes + blockSize - 1) / blockSize);
}

uint64_t ExtentBytes(const std::vector<Extent>& ext, uint32_t blockSize) {
  uint64_t n = 0;
  for (const Extent& e : ext) n += uint64_t(e.count) * blockSize;
  return n;
}

void WriteFork(Bytes& img, const std::vector<Extent>& ext, uint32_t blockSize, const uint8_t* data, size_t size) {
  size_t done = 0;
  for (const Extent& e : ext) {
    size_t room = size_t(e.count) * blockSize;
    size_t n = size - done < room ? size - done : room;
    std::memcpy(&img[size_t(e.start) * blockSize], data + done, n);
    done += n;
  }
}

void WriteTree(Bytes& img, const BuiltTree& t, const std::vector<Extent>& ext, uint32_t blockSize) {
  Bytes all;
  for (const Bytes& n : t.nodes) all.insert(all.end(), n.begin(), n.end());
  WriteFork(img, ext, blockSize, all.data(), all.size());
}

// ---------------------------------------------------------------- the image
// The live catalog's records; with `older`, those of the catalog before the
// deletions (deleted items in, the live items that reuse their names out),
// the deleted items dated `deletedDate`.
std::vector<Record> CatalogRecords(Volume& v, bool older = false, uint32_t deletedDate = kDate) {
  std::vector<Record> recs;
  for (const Item& it : v.items) {
    if (it.deleted && !older) continue;
    if (!it.deleted && older) {
      bool reused = false;
      for (const Item& d : v.items) reused = reused || (d.deleted && d.parent == it.parent && d.name == it.name);
      if (reused) continue;
    }
    const std::u16string& name = it.id == 2 ? v.name : it.name;
    const uint32_t date = it.deleted ? deletedDate : kDate;
    Record main;
    main.key = CatalogKey(it.parent, name);
    main.data = it.folder ? FolderRecord(it, !it.xattrs.empty(), date) : FileRecord(it, v.blockSize, date);
    recs.push_back(main);
    Record thread;
    thread.key = CatalogKey(it.id, u"");
    thread.data = ThreadRecord(it.folder, it.parent, name);
    recs.push_back(thread);
  }
  std::stable_sort(recs.begin(), recs.end(),
                   [](const Record& a, const Record& b) { return CompareCatalogKeyBytes(a.key, b.key) < 0; });
  for (size_t i = 1; i < recs.size(); ++i)
    if (CompareCatalogKeyBytes(recs[i - 1].key, recs[i].key) == 0)
      throw std::runtime_error("two names in one folder are equal without regard to case");
  return recs;
}

Bytes AttributeKey(uint32_t fileId, const std::u16string& name) {
  Bytes k;
  Append16(k, static_cast<uint32_t>(12 + 2 * name.size()));
  Append16(k, 0);
  Append32(k, fileId);
  Append32(k, 0);
  Append16(k, static_cast<uint32_t>(name.size()));
  for (char16_t c : name) Append16(k, c);
  return k;
}

// The live attributes; with `older`, those of deleted items too.
std::vector<Record> AttributeRecords(const Volume& v, bool older = false) {
  std::vector<Record> recs;
  for (const Item& it : v.items) {
    if (it.deleted && !older) continue;
    for (const auto& [name, value] : it.xattrs) {
      Record r;
      r.key = AttributeKey(it.id, name);
      Append32(r.data, 0x10);
      Append32(r.data, 0);
      Append32(r.data, 0);
      Append32(r.data, static_cast<uint32_t>(value.size()));
      r.data.insert(r.data.end(), value.begin(), value.end());
      if (r.data.size() % 2) r.data.push_back(0);
      recs.push_back(r);
    }
  }
  // Items are in id order and each item's names in binary order already.
  return recs;
}

// The volume byte where byte `offset` of a fork lies.
uint64_t ForkByteAddress(const std::vector<Extent>& ext, uint32_t blockSize, uint64_t offset) {
  for (const Extent& e : ext) {
    const uint64_t bytes = uint64_t(e.count) * blockSize;
    if (offset < bytes) return uint64_t(e.start) * blockSize + offset;
    offset -= bytes;
  }
  throw std::runtime_error("offset past the fork's end");
}

// The leaf nodes of a tree built from `recs` that hold one of the keys
// `wanted` (a transaction logs only the leaves it changed).
std::vector<Bytes> LeafNodes(const std::vector<Record>& recs, const BTreeShape& shape,
                             const std::vector<Bytes>& wanted) {
  std::vector<Bytes> leaves;
  if (recs.empty()) return leaves;
  BuiltTree t = BuildTree(recs, shape, NodesNeeded(recs, shape) + 1, 0);
  for (uint32_t n = 1; n < t.usedNodes; ++n) {
    if (static_cast<int8_t>(t.nodes[n][8]) != -1) continue;
    const Bytes& node = t.nodes[n];
    bool holds = false;
    for (const Bytes& key : wanted)
      holds = holds || std::search(node.begin(), node.end(), key.begin(), key.end()) != node.end();
    if (holds) leaves.push_back(node);
  }
  return leaves;
}

// One B-tree file as the journal sees it: where its nodes lie and the
// records it held before the deletions.
struct OlderTree {
  BTreeShape shape;
  std::vector<Extent> extents;
  uint32_t nodes = 0;
  std::vector<Record> records;
  std::vector<Bytes> wanted;  // the deleted items' keys in it
};

// Writes into the journal's free space, just past its (empty) header, the
// transactions of an earlier state: block lists whose blocks are the leaf
// nodes of the catalog (and extents and attributes trees) that still held
// the deleted items, each at the address of a node of its tree's file.
// Every copy but the last dates the deleted records a day earlier per copy.
void LogOlderLeaves(Volume& v, Bytes& journal, const BTreeShape& catShape, const std::vector<Extent>& catExt,
                    uint32_t catNodes, OlderTree extents, OlderTree attributes) {
  const uint32_t jhdrSize = 512, blhdrSize = 4096, nodeSize = catShape.nodeSize;
  uint64_t position = jhdrSize;
  const unsigned copies = v.journalCopies < 1 ? 1 : v.journalCopies;
  std::vector<Bytes> deletedKeys;
  std::vector<Bytes>& deletedExtentKeys = extents.wanted;
  for (const Item& it : v.items) {
    if (!it.deleted) continue;
    deletedKeys.push_back(CatalogKey(it.parent, it.name));
    for (const auto& attr : it.xattrs) attributes.wanted.push_back(AttributeKey(it.id, attr.first));
    std::vector<Record> overflow;
    ItemOverflowRecords(it, overflow);
    for (const Record& r : overflow) deletedExtentKeys.push_back(r.key);
  }
  for (unsigned c = 0; c < copies; ++c) {
    const uint32_t date = kDate - 86400u * (copies - 1 - c);
    struct Logged {
      uint64_t address;
      Bytes node;
    };
    std::vector<Logged> blocks;
    std::vector<Bytes> leaves = LeafNodes(CatalogRecords(v, true, date), catShape, deletedKeys);
    for (size_t i = 0; i < leaves.size(); ++i) {
      const uint32_t n = 1 + static_cast<uint32_t>(i % (catNodes - 1));
      blocks.push_back({ForkByteAddress(catExt, v.blockSize, uint64_t(n) * nodeSize), leaves[i]});
    }
    for (const OlderTree* tree : {&extents, &attributes}) {
      if (tree->records.empty() || tree->wanted.empty()) continue;
      leaves = LeafNodes(tree->records, tree->shape, tree->wanted);
      for (size_t i = 0; i < leaves.size(); ++i) {
        const uint32_t n = 1 + static_cast<uint32_t>(i % (tree->nodes - 1));
        blocks.push_back({ForkByteAddress(tree->extents, v.blockSize, uint64_t(n) * nodeSize), leaves[i]});
      }
    }
    if (blocks.size() + 1 > blhdrSize / 16) throw std::runtime_error("too many older leaves for one block list");
    const uint64_t bytes = blhdrSize + uint64_t(blocks.size()) * nodeSize;
    if (position + bytes > journal.size()) throw std::runtime_error("the journal is too small for its transactions");
    uint8_t* list = &journal[position];
    WriteLE16(list + 0, blhdrSize / 16 - 1);
    WriteLE16(list + 2, static_cast<uint32_t>(blocks.size() + 1));
    WriteLE32(list + 4, static_cast<uint32_t>(bytes));
    for (size_t i = 0; i < blocks.size(); ++i) {
      uint8_t* info = list + 16 * (i + 1);
      WriteLE64(info, blocks[i].address / jhdrSize);
      WriteLE32(info + 8, nodeSize);
      std::memcpy(&journal[position + blhdrSize + i * nodeSize], blocks[i].node.data(), nodeSize);
    }
    position += bytes;
  }
}

Bytes BuildImage(Volume& v) {
  const uint32_t B = v.blockSize;
  if (B < 512 || B > 65536 || (B & (B - 1))) throw std::runtime_error("block size must be a power of 2 in 512..65536");
  if (v.size % B) throw std::runtime_error("size must be a multiple of the block size");
  const uint64_t totalBlocks64 = v.size / B;
  if (totalBlocks64 < 16 || totalBlocks64 > 0xFFFFFFFFu) throw std::runtime_error("size out of range");
  const uint32_t totalBlocks = static_cast<uint32_t>(totalBlocks64);
  const bool journaled = v.journalSize > 0;
  const uint32_t nodeSize = v.nodeSize;
  if (nodeSize < 512 || nodeSize > 32768 || (nodeSize & (nodeSize - 1)))
    throw std::runtime_error("node size must be a power of 2 in 512..32768");

  // Journal files live in the root folder, as Mac OS X keeps them.
  uint32_t jibId = 0, jnlId = 0;
  if (journaled) {
    if (v.journalSize % B || v.journalSize < 8 * 4096)
      throw std::runtime_error("journal size must be a multiple of the block size, at least 32K");
    jnlId = v.Add("/.journal", false);
    jibId = v.Add("/.journal_info_block", false);
    for (uint32_t id : {jnlId, jibId}) {
      Item& it = v.ById(id);
      it.fileType = 0x6A726E6C;  // 'jrnl'
      it.creator = 0x6866732B;   // 'hfs+'
      it.finderFlags = 0x5000;   // invisible, name locked
    }
  }
  bool attributes = v.attributes;
  for (const Item& it : v.items) attributes = attributes || !it.xattrs.empty();

  Allocator alloc(totalBlocks);
  // Boot blocks and volume header; the alternate header and the last 512 bytes.
  alloc.Mark(0, BlocksFor(1536, B));
  uint32_t tailBlocks = BlocksFor(1024, B);
  alloc.Mark(totalBlocks - tailBlocks, tailBlocks);

  // Special files. Tree sizes depend only on record sizes, so they are known
  // before any file extent is placed.
  BTreeShape catShape_{nodeSize, 516, 0xCF, 6, true};
  BTreeShape extShape_{nodeSize, 10, 0, 2, false};
  BTreeShape attrShape_{nodeSize, 266, 0, 6, true};

  uint32_t allocBytes = (totalBlocks + 7) / 8;
  std::vector<Extent> allocExt = alloc.Take(BlocksFor(allocBytes, B), 1);

  // Placeholder extents give the catalog and overflow records their final sizes.
  for (Item& it : v.items)
    if (!it.folder) {
      it.extents.assign(std::min<size_t>(it.fragments, BlocksFor(it.data.size(), B)), Extent{});
      it.rsrcExtents.assign(std::min<size_t>(it.rsrcFragments, BlocksFor(it.rsrc.size(), B)), Extent{});
    }
  if (journaled) {
    v.ById(jibId).extents.assign(1, Extent{});
    v.ById(jnlId).extents.assign(1, Extent{});
  }
  std::vector<Record> catRecs = CatalogRecords(v);
  uint32_t catNodes = NodesNeeded(catRecs, catShape_) + 4;
  uint32_t catBlocks = BlocksFor(uint64_t(catNodes) * nodeSize, B);
  catNodes = static_cast<uint32_t>(uint64_t(catBlocks) * B / nodeSize);
  unsigned catPieces = v.catalogExtents < 1 ? 1 : v.catalogExtents;
  if (catPieces > catBlocks) {
    catBlocks = catPieces;
    catNodes = static_cast<uint32_t>(uint64_t(catBlocks) * B / nodeSize);
  }
  std::vector<Record> extRecs;
  std::vector<Extent> catShape(catPieces);
  OverflowRecords(4, catShape, extRecs);
  for (const Item& it : v.items) ItemOverflowRecords(it, extRecs);
  // Extra room for the catalog's and the files' overflow records.
  uint32_t extNodes = std::max<uint32_t>(NodesNeeded(extRecs, extShape_) + 2, 4);
  uint32_t extBlocks = BlocksFor(uint64_t(extNodes) * nodeSize, B);
  extNodes = static_cast<uint32_t>(uint64_t(extBlocks) * B / nodeSize);

  std::vector<Extent> extExt = alloc.Take(extBlocks, 1);
  std::vector<Extent> catExt = alloc.Take(catBlocks, catPieces);

  std::vector<Record> attrRecs = AttributeRecords(v);
  std::vector<Extent> attrExt;
  uint32_t attrNodes = 0;
  if (attributes) {
    attrNodes = std::max<uint32_t>(NodesNeeded(attrRecs, attrShape_) + 2, 4);
    uint32_t attrBlocks = BlocksFor(uint64_t(attrNodes) * nodeSize, B);
    attrNodes = static_cast<uint32_t>(uint64_t(attrBlocks) * B / nodeSize);
    attrExt = alloc.Take(attrBlocks, 1);
  }

  Bytes img(v.size, 0);
  if (journaled) {
    Item& jib = v.ById(jibId);
    Item& jnl = v.ById(jnlId);
    jib.extents = alloc.Take(1, 1);
    jnl.extents = alloc.Take(BlocksFor(v.journalSize, B), 1);
    jib.data.assign(B, 0);
    jnl.data.assign(v.journalSize, 0);
    // Journal info block (big-endian): in this volume, at the journal's offset.
    WriteBE32(&jib.data[0], 1);
    WriteBE64(&jib.data[36], uint64_t(jnl.extents[0].start) * B);
    WriteBE64(&jib.data[44], v.journalSize);
    // An empty journal: header in the writer's (little-endian) order, start == end.
    uint8_t* h = jnl.data.data();
    const uint32_t jhdrSize = 512;
    WriteLE32(h + 0, 0x4A4E4C78);
    WriteLE32(h + 4, 0x12345678);
    WriteLE64(h + 8, jhdrSize);
    WriteLE64(h + 16, jhdrSize);
    WriteLE64(h + 24, v.journalSize);
    WriteLE32(h + 32, 4096);
    WriteLE32(h + 36, 0);
    WriteLE32(h + 40, jhdrSize);
    // The journal's checksum, in unsigned arithmetic: the same bits as the
    // signed original without overflowing a signed shift.
    uint32_t sum = 0;
    for (int i = 0; i < 44; ++i) sum = (sum << 8) ^ (sum + h[i]);
    WriteLE32(h + 36, ~sum);
  }
  for (Item& it : v.items) {
    if (it.folder || it.id == jibId || it.id == jnlId) continue;
    it.extents = alloc.Take(BlocksFor(it.data.size(), B), it.fragments);
    WriteFork(img, it.extents, B, it.data.data(), it.data.size());
    it.rsrcExtents = alloc.Take(BlocksFor(it.rsrc.size(), B), it.rsrcFragments);
    WriteFork(img, it.rsrcExtents, B, it.rsrc.data(), it.rsrc.size());
  }
  if (journaled) {
    for (uint32_t id : {jibId, jnlId}) {
      Item& it = v.ById(id);
      WriteFork(img, it.extents, B, it.data.data(), it.data.size());
    }
  }

  // Trees with the real extents.
  catRecs = CatalogRecords(v);
  auto extentRecords = [&](bool older) {
    std::vector<Record> recs;
    OverflowRecords(4, catExt, recs);
    for (const Item& it : v.items)
      if (older || !it.deleted) ItemOverflowRecords(it, recs);
    std::stable_sort(recs.begin(), recs.end(), [](const Record& a, const Record& b) {
      // fileID, fork type, start block; all big-endian so bytes compare in order.
      Bytes ka(a.key.begin() + 4, a.key.begin() + 8), kb(b.key.begin() + 4, b.key.begin() + 8);
      if (ka != kb) return ka < kb;
      if (a.key[2] != b.key[2]) return a.key[2] < b.key[2];
      return Bytes(a.key.begin() + 8, a.key.end()) < Bytes(b.key.begin() + 8, b.key.end());
    });
    return recs;
  };
  extRecs = extentRecords(false);
  // Deleted files leave their data in place; the bitmap gives their blocks free.
  for (const Item& it : v.items)
    if (it.deleted) {
      for (const Extent& e : it.extents) alloc.Unmark(e.start, e.count);
      for (const Extent& e : it.rsrcExtents) alloc.Unmark(e.start, e.count);
    }
  if (journaled) {
    bool anyDeleted = false;
    for (const Item& it : v.items) anyDeleted = anyDeleted || it.deleted;
    if (anyDeleted) {
      Item& jnl = v.ById(jnlId);
      LogOlderLeaves(v, jnl.data, catShape_, catExt, catNodes,
                     OlderTree{extShape_, extExt, extNodes, extentRecords(true), {}},
                     OlderTree{attrShape_, attrExt, attrNodes, AttributeRecords(v, true), {}});
      WriteFork(img, jnl.extents, B, jnl.data.data(), jnl.data.size());
    }
  }
  WriteTree(img, BuildTree(catRecs, catShape_, catNodes, catBlocks * B), catExt, B);
  WriteTree(img, BuildTree(extRecs, extShape_, extNodes, extBlocks * B), extExt, B);
  if (attributes) WriteTree(img, BuildTree(attrRecs, attrShape_, attrNodes, attrNodes * nodeSize), attrExt, B);
  Bytes bitmap = alloc.Bitmap(size_t(allocExt[0].count) * B);
  WriteFork(img, allocExt, B, bitmap.data(), bitmap.size());

  // Volume header.
  uint32_t files = 0, folders = 0, nextId = 16;
  for (const Item& it : v.items) {
    if (it.id == 2 || it.deleted) continue;
    (it.folder ? folders : files)++;
  }
  nextId = static_cast<uint32_t>(v.items.size() + 15);
  uint8_t* h = &img[1024];
  WriteBE16(h + 0, 0x482B);
  WriteBE16(h + 2, 4);
  WriteBE32(h + 4, 0x100 | (journaled ? 0x2000 : 0));     // unmounted cleanly, journaled
  WriteBE32(h + 8, journaled ? 0x4846534A : 0x31302E30);  // 'HFSJ' or '10.0'
  WriteBE32(h + 12, journaled ? v.ById(jibId).extents[0].start : 0);
  WriteBE32(h + 16, kDate);
  WriteBE32(h + 20, kDate);
  WriteBE32(h + 24, 0);
  WriteBE32(h + 28, kDate);
  WriteBE32(h + 32, files);
  WriteBE32(h + 36, folders);
  WriteBE32(h + 40, B);
  WriteBE32(h + 44, totalBlocks);
  WriteBE32(h + 48, alloc.FreeCount());
  WriteBE32(h + 52, alloc.Next());
  WriteBE32(h + 56, 65536);
  WriteBE32(h + 60, 65536);
  WriteBE32(h + 64, nextId);
  WriteBE32(h + 68, 1);
  WriteBE64(h + 72, 1);
  PutForkData(h + 112, ExtentBytes(allocExt, B), B, allocExt);
  PutForkData(h + 192, ExtentBytes(extExt, B), B, extExt);
  PutForkData(h + 272, ExtentBytes(catExt, B), B, catExt);
  if (attributes) PutForkData(h + 352, ExtentBytes(attrExt, B), B, attrExt);
  for (int f = 1; f < (attributes ? 4 : 3); ++f) WriteBE32(h + 112 + 80 * f + 8, B);
  std::memcpy(&img[v.size - 1024], h, 512);
  return img;
}

// ---------------------------------------------------------------- resource forks
// A resource fork holding one unnamed resource: the fork header, the
// resource's length and bytes, then the map with its one type and reference.
Bytes ResourceFork(uint32_t type, uint16_t id, const Bytes& data) {
  const uint32_t dataOffset = 0x100, mapLength = 0x32;
  const uint32_t dataLength = static_cast<uint32_t>(4 + data.size());
  Bytes f(dataOffset, 0);
  WriteBE32(&f[0], dataOffset);
  WriteBE32(&f[4], dataOffset + dataLength);
  WriteBE32(&f[8], dataLength);
  WriteBE32(&f[12], mapLength);
  Append32(f, dataLength - 4);
  f.insert(f.end(), data.begin(), data.end());
  // The map: a copy of the header, then the type list and the reference list.
  Bytes map(f.begin(), f.begin() + 16);
  map.resize(24, 0);
  Append16(map, 0x1C);       // type list offset
  Append16(map, mapLength);  // name list offset (none)
  Append16(map, 0);          // types - 1
  Append32(map, type);
  Append16(map, 0);       // resources - 1
  Append16(map, 0x0A);    // reference list offset, from the type list
  Append16(map, id);      // resource id
  Append16(map, 0xFFFF);  // no name
  Append32(map, 0);       // attributes and data offset
  Append32(map, 0);       // handle
  f.insert(f.end(), map.begin(), map.end());
  return f;
}

// ---------------------------------------------------------------- directory aliases
const uint32_t kAliasResourceType = 0x616C6973;  // 'alis'
const uint32_t kFolderAliasType = 0x66647270;    // 'fdrp'
const uint32_t kAliasCreator = 0x4D414353;       // 'MACS'
const uint16_t kIsAliasFlag = 0x8000;

// The 8-bit form of a name in an alias record: ASCII kept, anything else '?'.
std::string AliasName8(const std::u16string& name) {
  std::string out;
  for (char16_t c : name) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

void PutPascal(uint8_t* p, size_t room, const std::string& s) {
  const size_t n = std::min(s.size(), room - 1);
  p[0] = static_cast<uint8_t>(n);
  std::memcpy(p + 1, s.data(), n);
}

void AppendTag(Bytes& b, int16_t tag, const Bytes& value) {
  Append16(b, static_cast<uint16_t>(tag));
  Append16(b, static_cast<uint32_t>(value.size()));
  b.insert(b.end(), value.begin(), value.end());
  if (value.size() % 2) b.push_back(0);
}

Bytes Utf16Tag(const std::u16string& s) {
  Bytes b;
  Append16(b, static_cast<uint32_t>(s.size()));
  for (char16_t c : s) Append16(b, c);
  return b;
}

// A version 2 alias record of the folder at `path`: the fixed 150 bytes
// (volume name and date, the target's parent, name, id and date), then
// tagged data: the parent's name, the colon path, the target's and the
// volume's names in UTF-16, the POSIX path; tag -1 ends it.
Bytes FolderAliasRecord(Volume& v, const std::string& path, const Item& target) {
  Bytes r(150, 0);
  WriteBE16(&r[6], 2);  // version
  WriteBE16(&r[8], 1);  // a folder
  PutPascal(&r[10], 28, AliasName8(v.name));
  WriteBE32(&r[38], kDate);
  WriteBE16(&r[42], 0x482B);  // 'H+'
  WriteBE16(&r[44], 0);       // fixed disk
  WriteBE32(&r[46], target.parent);
  PutPascal(&r[50], 64, AliasName8(target.name));
  WriteBE32(&r[114], target.id);
  WriteBE32(&r[118], kDate);
  WriteBE16(&r[130], 0xFFFF);  // levels from the alias to the root: not given
  WriteBE16(&r[132], 0xFFFF);  // levels from the root to the target: not given
  const std::u16string parentName = target.parent == 2 ? v.name : v.ById(target.parent).name;
  const std::string parent8 = AliasName8(parentName);
  AppendTag(r, 0, Bytes(parent8.begin(), parent8.end()));
  std::string colons = AliasName8(v.name);
  for (char c : path) colons.push_back(c == '/' ? ':' : c);
  AppendTag(r, 2, Bytes(colons.begin(), colons.end()));
  AppendTag(r, 14, Utf16Tag(target.name));
  AppendTag(r, 15, Utf16Tag(v.name));
  AppendTag(r, 18, Bytes(path.begin(), path.end()));
  AppendTag(r, -1, {});
  WriteBE16(&r[4], static_cast<uint32_t>(r.size()));
  return r;
}

// Gives every directory alias its resource fork: one 'alis' resource (id 0)
// naming its folder, which must exist by then.
void ResolveAliases(Volume& v) {
  for (Item& it : v.items) {
    if (it.aliasTarget.empty()) continue;
    auto found = v.paths.find(it.aliasTarget);
    if (found == v.paths.end() || !v.ById(found->second).folder || found->second == 2)
      throw std::runtime_error("an alias names no folder: " + it.aliasTarget);
    it.rsrc = ResourceFork(kAliasResourceType, 0, FolderAliasRecord(v, it.aliasTarget, v.ById(found->second)));
  }
}

// ---------------------------------------------------------------- compression
// A deflated piece as decmpfs stores it: a zlib stream, or, when that would
// not be shorter, 0xFF and the bytes as they are.
Bytes DeflatePiece(const uint8_t* data, size_t size) {
  uLongf room = compressBound(static_cast<uLong>(size));
  Bytes out(room);
  if (compress2(out.data(), &room, data, static_cast<uLong>(size), Z_BEST_COMPRESSION) != Z_OK)
    throw std::runtime_error("zlib failed");
  out.resize(room);
  if (out.size() < size + 1) return out;
  out.assign(1, 0xFF);
  out.insert(out.end(), data, data + size);
  return out;
}

const uint32_t kDecmpfsMagic = 0x636D7066;  // 'cmpf'
const uint32_t kDecmpfsInlineZlib = 3, kDecmpfsForkZlib = 4;
const size_t kDecmpfsChunk = 65536;
const size_t kDecmpfsMaxInline = 3802;  // the largest com.apple.decmpfs attribute

Bytes DecmpfsHeader(uint32_t type, uint64_t size) {
  Bytes h(16, 0);
  WriteLE32(&h[0], kDecmpfsMagic);
  WriteLE32(&h[4], type);
  WriteLE64(&h[8], size);
  return h;
}

// Makes `it` a compressed file of `data`: deflated into the attribute, or
// in 64 KiB chunks into a resource fork shaped as a 'cmpf' resource (fork
// header, the chunk table, the chunks, then a resource map).
void Compress(Item& it, Bytes data, bool inResourceFork) {
  it.compressed = true;
  it.data.clear();
  const std::u16string name = u"com.apple.decmpfs";
  if (!inResourceFork) {
    Bytes attr = DecmpfsHeader(kDecmpfsInlineZlib, data.size());
    Bytes packed = DeflatePiece(data.data(), data.size());
    attr.insert(attr.end(), packed.begin(), packed.end());
    if (attr.size() > kDecmpfsMaxInline) throw std::runtime_error("too large to compress into the attribute");
    it.xattrs[name] = attr;
    return;
  }
  it.xattrs[name] = DecmpfsHeader(kDecmpfsForkZlib, data.size());
  const size_t chunks = (data.size() + kDecmpfsChunk - 1) / kDecmpfsChunk;
  Bytes table(4 + 8 * chunks, 0), body;
  WriteLE32(&table[0], static_cast<uint32_t>(chunks));
  for (size_t c = 0; c < chunks; ++c) {
    const size_t at = c * kDecmpfsChunk, n = std::min(kDecmpfsChunk, data.size() - at);
    Bytes piece = DeflatePiece(data.data() + at, n);
    WriteLE32(&table[4 + 8 * c], static_cast<uint32_t>(table.size() + body.size()));
    WriteLE32(&table[8 + 8 * c], static_cast<uint32_t>(piece.size()));
    body.insert(body.end(), piece.begin(), piece.end());
  }
  table.insert(table.end(), body.begin(), body.end());
  it.rsrc = ResourceFork(kDecmpfsMagic, 1, table);
}

// ---------------------------------------------------------------- input
Bytes ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Apply(Volume& v, const std::string& key, const std::string& arg) {
  auto splitEq = [](const std::string& s) {
    size_t eq = s.find('=');
    if (eq == std::string::npos) throw std::runtime_error("expected PATH=...: " + s);
    return std::make_pair(s.substr(0, eq), s.substr(eq + 1));
  };
  if (key == "name") {
    v.name = Utf8ToUtf16(arg);
    if (v.name.empty() || v.name.size() > 255) throw std::runtime_error("volume name must have 1..255 units");
  } else if (key == "size") {
    v.size = ParseSize(arg);
  } else if (key == "blocksize") {
    v.blockSize = static_cast<uint32_t>(ParseSize(arg));
  } else if (key == "journal") {
    v.journalSize = ParseSize(arg);
  } else if (key == "nodesize") {
    v.nodeSize = static_cast<uint32_t>(ParseSize(arg));
  } else if (key == "catalog-extents") {
    v.catalogExtents = static_cast<unsigned>(ParseSize(arg));
  } else if (key == "attributes") {
    v.attributes = true;
  } else if (key == "journal-copies") {
    v.journalCopies = static_cast<unsigned>(ParseSize(arg));
  } else if (key == "deleted-folder") {
    v.Add(arg, true, true);
  } else if (key == "folder") {
    v.Add(arg, true);
  } else if (key == "file" || key == "deleted" || key == "compressed" || key == "deleted-compressed" ||
             key == "compressed-fork" || key == "deleted-compressed-fork") {
    auto [path, rest] = splitEq(arg);
    unsigned pieces = 1;
    bool piecesGiven = false;
    size_t colon = rest.rfind(':');
    if (colon != std::string::npos && colon + 1 < rest.size() &&
        rest.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
      pieces = static_cast<unsigned>(std::stoul(rest.substr(colon + 1)));
      piecesGiven = true;
      rest = rest.substr(0, colon);
    }
    Item& it = v.ById(v.Add(path, false, key.rfind("deleted", 0) == 0));
    it.data = ReadHostFile(rest);
    if (key.find("compressed") == std::string::npos) {
      it.fragments = pieces < 1 ? 1 : pieces;
    } else {
      const bool fork = key.find("-fork") != std::string::npos;
      if (!fork && piecesGiven) throw std::runtime_error("data compressed into the attribute has no extents: " + arg);
      Compress(it, std::move(it.data), fork);
      it.rsrcFragments = pieces < 1 ? 1 : pieces;
    }
  } else if (key == "alias") {
    auto [path, target] = splitEq(arg);
    Item& it = v.ById(v.Add(path, false));
    it.aliasTarget = target;
    it.fileType = kFolderAliasType;
    it.creator = kAliasCreator;
    it.finderFlags = kIsAliasFlag;
  } else if (key == "text" || key == "deleted-text") {
    auto [path, text] = splitEq(arg);
    Item& it = v.ById(v.Add(path, false, key == "deleted-text"));
    it.data.assign(text.begin(), text.end());
  } else if (key == "xattr") {
    auto [path, rest] = splitEq(arg);
    auto [name, value] = splitEq(rest);
    auto found = v.paths.find(path);
    if (found == v.paths.end()) throw std::runtime_error("xattr on an unknown path: " + path);
    v.ById(found->second).xattrs[Utf8ToUtf16(name)] = Bytes(value.begin(), value.end());
  } else {
    throw std::runtime_error("unknown option: " + key);
  }
}

void ReadManifest(Volume& v, const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::string line;
  while (std::getline(in, line)) {
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos || line[b] == '#') continue;
    line = line.substr(b);
    size_t sp = line.find_first_of(" \t");
    std::string key = line.substr(0, sp);
    std::string rest = sp == std::string::npos ? "" : line.substr(line.find_first_not_of(" \t", sp));
    if (key == "file" || key == "text" || key == "xattr" || key == "deleted" || key == "deleted-text" ||
        key == "alias" || key.find("compressed") != std::string::npos) {
      // Manifest form: blanks separate the fields; the last field takes the rest.
      std::istringstream ss(rest);
      std::string path;
      ss >> path;
      std::string tail;
      std::getline(ss, tail);
      size_t t = tail.find_first_not_of(" \t");
      tail = t == std::string::npos ? "" : tail.substr(t);
      if (key == "file" || key == "deleted" || key.find("compressed") != std::string::npos) {
        std::istringstream ts(tail);
        std::string host, pieces;
        ts >> host >> pieces;
        Apply(v, key, path + "=" + host + (pieces.empty() ? "" : ":" + pieces));
      } else if (key == "xattr") {
        size_t s2 = tail.find_first_of(" \t");
        std::string name = tail.substr(0, s2);
        std::string value = s2 == std::string::npos ? "" : tail.substr(tail.find_first_not_of(" \t", s2));
        Apply(v, key, path + "=" + name + "=" + value);
      } else {
        Apply(v, key, path + "=" + tail);
      }
    } else {
      Apply(v, key, rest);
    }
  }
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: hfsgen -o OUT.img [-m MANIFEST] [--name TEXT] [--size BYTES] [--blocksize BYTES]\n"
      "              [--journal BYTES] [--nodesize BYTES] [--catalog-extents N] [--attributes] [--folder PATH]...\n"
      "              [--file PATH=HOSTFILE[:EXTENTS]]... [--text PATH=TEXT]...\n"
      "              [--xattr PATH=NAME=VALUE]... [--deleted PATH=HOSTFILE[:EXTENTS]]...\n"
      "              [--deleted-text PATH=TEXT]... [--deleted-folder PATH]... [--journal-copies N]\n"
      "              [--[deleted-]compressed PATH=HOSTFILE]...\n"
      "              [--[deleted-]compressed-fork PATH=HOSTFILE[:EXTENTS]]... [--alias PATH=FOLDER]...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Volume v;
    std::string out;
    for (int i = 1; i < argc; ++i) {
      std::string a = argv[i];
      auto next = [&]() -> std::string {
        if (i + 1 >= argc) throw std::runtime_error("missing value after " + a);
        return argv[++i];
      };
      if (a == "-o")
        out = next();
      else if (a == "-m")
        ReadManifest(v, next());
      else if (a == "--attributes")
        Apply(v, "attributes", "");
      else if (a.rfind("--", 0) == 0)
        Apply(v, a.substr(2), next());
      else
        return Usage();
    }
    if (out.empty()) return Usage();
    ResolveAliases(v);
    Bytes img = BuildImage(v);
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(img.data()), static_cast<std::streamsize>(img.size()));
    if (!f) throw std::runtime_error("cannot write " + out);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hfsgen: %s\n", e.what());
    return 1;
  }
}
