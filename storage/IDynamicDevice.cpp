#include "IDynamicDevice.h"

#include <cstring>

#include "CMirrorVolumeDevice.h"
#include "CRaid5VolumeDevice.h"
#include "CSimpleVolumeDevice.h"
#include "CSpannedVolumeDevice.h"
#include "CStripedVolumeDevice.h"

namespace {
IDynamicDevice::DmVolumeLetterFn g_dmVolumeLetter = nullptr;

size_t PresentMembers(const std::vector<LdmExtentRecord*>& extents) {
  size_t n = 0;
  for (const LdmExtentRecord* e : extents)
    if (e && e->device) ++n;
  return n;
}
}  // namespace

void IDynamicDevice::SetDmVolumeLetterResolver(DmVolumeLetterFn fn) { g_dmVolumeLetter = fn; }

char IDynamicDevice::GetDriveLetter() {
  if (!g_dmVolumeLetter) return 0;
  char group[sizeof m_info.diskGroupName + 1] = {};
  char name[sizeof m_info.volumeName + 1] = {};
  memcpy(group, m_info.diskGroupName, sizeof m_info.diskGroupName);
  memcpy(name, m_info.volumeName, sizeof m_info.volumeName);
  return g_dmVolumeLetter(group, name);
}

bool IDynamicDevice::PrepareRead(void* buffer, uint64_t first, uint64_t& count) {
  const uint64_t size = m_info.size;
  if (!buffer || first > size || count > size) return false;
  memset(buffer, 0, size_t(count) * size_t(GetSectorSize()));
  if (count > size - first) count = size - first;
  return true;
}

bool IDynamicDevice::IsSameVolume(IDynamicDevice* other) {
  if (!other || other->GetVolumeType() != GetVolumeType()) return false;
  std::vector<LdmExtentRecord*> own, theirs;
  CopyExtents(own);
  other->CopyExtents(theirs);
  return ExtentListsMatch(own, theirs);
}

bool LdmExtentsEqual(const LdmExtentRecord& a, const LdmExtentRecord& b) {
  return a.sectorCount == b.sectorCount && a.startSector == b.startSector && a.volumeOffset == b.volumeOffset &&
         a.device == b.device && strncmp(a.diskId, b.diskId, sizeof a.diskId) == 0;
}

bool ExtentListsMatch(const std::vector<LdmExtentRecord*>& own, const std::vector<LdmExtentRecord*>& other) {
  for (const LdmExtentRecord* e : own) {
    bool found = false;
    for (const LdmExtentRecord* o : other)
      if (e && o && LdmExtentsEqual(*e, *o)) {
        found = true;
        break;
      }
    if (!found) return false;
  }
  return true;
}

IDynamicDevice* CreateSimpleVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                         const std::vector<LdmExtentRecord*>& extents) {
  if (PresentMembers(extents) != 1) return nullptr;
  return new CSimpleVolumeDevice(type, info, extents);
}

IDynamicDevice* CreateSpannedVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                          const std::vector<LdmExtentRecord*>& extents) {
  if (PresentMembers(extents) == 0) return nullptr;
  return new CSpannedVolumeDevice(type, info, extents);
}

IDynamicDevice* CreateStripedVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                          const std::vector<LdmExtentRecord*>& extents) {
  if (PresentMembers(extents) == 0) return nullptr;
  return new CStripedVolumeDevice(type, info, extents);
}

IDynamicDevice* CreateRaid5VolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                        const std::vector<LdmExtentRecord*>& extents) {
  // Parity needs three columns at least; one member may be missing.
  const size_t present = PresentMembers(extents);
  if (extents.size() < 3 || present + 1 < extents.size()) return nullptr;
  return new CRaid5VolumeDevice(type, info, extents);
}

IDynamicDevice* CreateMirrorVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info, IDynamicDevice* first,
                                         IDynamicDevice* second) {
  if (!first && !second) return nullptr;
  return new CMirrorVolumeDevice(type, info, first, second);
}
