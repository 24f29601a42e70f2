// Page allocation through the PFS and EAM maps. The maps are read and
// written straight through a TORQMapPageStore, outside the page cache; the
// caller holds the file lock and keeps the main header current around each
// operation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sqlengine/storage/file_header.h"
#include "sqlengine/storage/free_space_map.h"

namespace duz {

class TORQMapPageStore {
 public:
  virtual ~TORQMapPageStore() = default;
  virtual void ReadMapPage(int32_t pageNo, uint8_t* buffer) = 0;  // page-size bytes
  virtual void WriteMapPage(int32_t pageNo, const uint8_t* buffer) = 0;
  // The file grows or is cut to this many pages.
  virtual void SetPageCount(int32_t totalPages) = 0;
  // A page just left the maps: its on-disk change counter becomes 0x7FFFFFFF.
  virtual void MarkPageFreed(int32_t pageNo) = 0;
};

class TORQDatabaseFreeSpaceManager {
 public:
  // header supplies and receives total page count and highest page in use.
  TORQDatabaseFreeSpaceManager(TORQMapPageStore& store, TORQMainHeader& header);

  const TORQFreeSpaceMap& Map() const { return map_; }

  int32_t AllocatePage();
  void FreePage(int32_t pageNo);
  // Cuts every page above the highest page in use.
  void Truncate();

  bool IsPageUsed(int32_t pageNo);
  // Every disagreement between the maps and the header, as readable lines.
  std::vector<std::string> Check();

 private:
  void LoadMap(int64_t pageNo, uint16_t expectedType, int wrongTypeError, std::vector<uint8_t>& buf);
  void CreateMapPage(int64_t pageNo, uint16_t type);
  int32_t ScanGroup(int64_t group);
  int32_t Grow();
  void SetUsedBit(int32_t pageNo, bool used, bool tolerateSame);
  void UpdateExtentPair(int64_t extent);
  int32_t FindHighestUsed();
  void ShrinkIfPossible();
  int32_t GrowthStep() const;

  TORQMapPageStore& store_;
  TORQMainHeader& header_;
  TORQFreeSpaceMap map_;
};

}  // namespace duz
