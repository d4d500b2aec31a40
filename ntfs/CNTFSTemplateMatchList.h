// Sectors found equal to a standard-content template or to a valid log page,
// kept as runs in the order the scan met them, and the $AttrDef and $UpCase
// templates themselves. Positions count 512-byte units from the device's
// start (a 4096-byte device sector holds eight), so that one list serves
// every sector size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>

class CNTFSRunList;

constexpr uint32_t kNTFSTemplateUnit = 512;
constexpr int kNTFSTemplateSectors = 5;
// Sector k (0-4) of each template.
const uint8_t* GetAttrDefTemplateSector(int k);
const uint8_t* GetUpCaseTemplateSector(int k);

class CNTFSTemplateMatchList {
 public:
  static constexpr size_t kMaxRuns = 500000;
  struct Run {
    uint64_t first;
    uint64_t count;
  };

  // Extends the last run when it ends right before `unit`; otherwise starts a
  // new run while fewer than kMaxRuns are held.
  void AddMatch(uint64_t unit);
  static bool IsSectorEqual(const uint8_t* sector, const uint8_t* templateSector);
  // Matched units that lie on the runs' clusters: cluster c covers the units
  // from `startUnit` + c x `unitsPerCluster` on.
  uint64_t CountMatches(const CNTFSRunList& runs, uint64_t startUnit, uint64_t unitsPerCluster) const;

  const std::list<Run>& GetRuns() const { return m_runs; }

 private:
  std::list<Run> m_runs;
};
