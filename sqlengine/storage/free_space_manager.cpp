#include "sqlengine/storage/free_space_manager.h"

#include <algorithm>

#include "platform/error.h"
#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_header.h"
#include "sqlengine/storage/page_types.h"

namespace duz {

namespace {
// Native numbers of "Wrong page type..." by map operation.
constexpr int kWrongTypeScanEam = 30423;
constexpr int kWrongTypeScanPfs = 30424;
constexpr int kWrongTypeMarkUsed = 30428;
constexpr int kWrongTypeMarkFree = 30430;
constexpr int kWrongTypeHighest = 30432;
}  // namespace

TORQDatabaseFreeSpaceManager::TORQDatabaseFreeSpaceManager(TORQMapPageStore& store, TORQMainHeader& header)
    : store_(store), header_(header), map_(header.PageSize, header.PagesPerExtent) {}

int32_t TORQDatabaseFreeSpaceManager::GrowthStep() const {
  return std::max<int32_t>(header_.TotalPageCount / 10, header_.PagesPerExtent);
}

void TORQDatabaseFreeSpaceManager::LoadMap(int64_t pageNo, uint16_t expectedType, int wrongTypeError,
                                           std::vector<uint8_t>& buf) {
  buf.resize(header_.PageSize);
  store_.ReadMapPage(static_cast<int32_t>(pageNo), buf.data());
  uint16_t type = TORQPageHeader(buf.data()).PageType();
  if (type != expectedType)
    RaiseORQFmt(wrongTypeError, "Wrong page type. Found '%s', but expecting: '%s'", PageTypeName(type).c_str(),
                PageTypeName(expectedType).c_str());
}

void TORQDatabaseFreeSpaceManager::CreateMapPage(int64_t pageNo, uint16_t type) {
  std::vector<uint8_t> buf(header_.PageSize, 0);
  TORQPageHeader(buf.data()).Init(type, RandomInitialChangeCounter());
  buf[kPageHeaderSize] = 1;  // PFS: its own bit; EAM: its first extent partly used
  store_.WriteMapPage(static_cast<int32_t>(pageNo), buf.data());
}

bool TORQDatabaseFreeSpaceManager::IsPageUsed(int32_t pageNo) {
  if (pageNo < 0 || pageNo >= header_.TotalPageCount) return false;
  std::vector<uint8_t> pfs;
  LoadMap(map_.PfsPageOf(pageNo), ptPFS, kWrongTypeScanPfs, pfs);
  return (pfs[kPageHeaderSize + map_.PfsByteOf(pageNo)] >> map_.PfsBitOf(pageNo)) & 1;
}

// First free page of an extent group whose EAM pair says it is not full.
int32_t TORQDatabaseFreeSpaceManager::ScanGroup(int64_t group) {
  const int64_t total = header_.TotalPageCount;
  const int64_t eamPage = map_.EamPageNo(group);
  if (eamPage >= total) return -1;
  std::vector<uint8_t> eam, pfs;
  LoadMap(eamPage, ptEAM, kWrongTypeScanEam, eam);
  int64_t loadedPfs = -1;
  const int64_t e = map_.PagesPerExtent();
  for (int64_t i = 0; i < map_.DataSize(); ++i) {
    uint8_t byte = eam[kPageHeaderSize + i];
    if (byte == 0xFF) continue;
    for (int j = 0; j < 4; ++j) {
      int64_t extent = group * map_.ExtentsPerEam() + 4 * i + j;
      int64_t first = extent * e;
      if (first >= total) return -1;
      if ((byte >> (2 * j)) & 2) continue;
      int64_t end = std::min(first + e, total);
      for (int64_t p = first; p < end; ++p) {
        int64_t pfsPage = map_.PfsPageOf(p);
        if (pfsPage != loadedPfs) {
          LoadMap(pfsPage, ptPFS, kWrongTypeScanPfs, pfs);
          loadedPfs = pfsPage;
        }
        if (!((pfs[kPageHeaderSize + map_.PfsByteOf(p)] >> map_.PfsBitOf(p)) & 1) && !map_.IsMapPage(p))
          return static_cast<int32_t>(p);
      }
    }
  }
  return -1;
}

int32_t TORQDatabaseFreeSpaceManager::AllocatePage() {
  int32_t found = -1;
  if (header_.HighestPageInUse >= 0 && header_.TotalPageCount > 0) {
    int64_t lastGroup = (static_cast<int64_t>(header_.TotalPageCount) - 1) / map_.PagesPerEam();
    found = ScanGroup(lastGroup);
    for (int64_t g = 0; found < 0 && g < lastGroup; ++g) found = ScanGroup(g);
  }
  if (found < 0 || found >= header_.TotalPageCount) found = Grow();
  SetUsedBit(found, true, false);
  header_.HighestPageInUse = std::max(header_.HighestPageInUse, found);
  return found;
}

int32_t TORQDatabaseFreeSpaceManager::Grow() {
  int64_t newPage = static_cast<int64_t>(header_.HighestPageInUse) + 1;
  while (map_.IsMapPage(newPage)) ++newPage;
  const int64_t oldTotal = header_.TotalPageCount;
  int64_t amount = oldTotal == 0 ? 6 : GrowthStep();
  if (oldTotal + amount <= newPage) amount = newPage - oldTotal + 1;
  while (map_.IsMapPage(oldTotal + amount - 1)) ++amount;
  if (oldTotal + amount > INT32_MAX) RaiseORQFmt(30430, "Page: %d cannot be addressed. TotalPageCount=%d",
                                                 static_cast<int>(newPage), header_.TotalPageCount);
  const int64_t newTotal = oldTotal + amount;
  store_.SetPageCount(static_cast<int32_t>(newTotal));
  header_.TotalPageCount = static_cast<int32_t>(newTotal);
  std::vector<int64_t> created;
  for (int64_t p = map_.PfsPageOf(oldTotal); p < newTotal; p += map_.PagesPerPfs())
    if (p >= oldTotal) {
      CreateMapPage(p, ptPFS);
      created.push_back(p);
    }
  for (int64_t g = oldTotal / map_.PagesPerEam(); map_.EamPageNo(g) < newTotal; ++g) {
    int64_t p = map_.EamPageNo(g);
    if (p >= oldTotal) {
      CreateMapPage(p, ptEAM);
      created.push_back(p);
    }
  }
  // A new map page's first data byte already covers itself: marking it must
  // not fail as "already used".
  for (int64_t p : created) SetUsedBit(static_cast<int32_t>(p), true, true);
  return static_cast<int32_t>(newPage);
}

void TORQDatabaseFreeSpaceManager::SetUsedBit(int32_t pageNo, bool used, bool tolerateSame) {
  if (pageNo < 0 || pageNo >= header_.TotalPageCount)
    RaiseORQFmt(used ? 30430 : 30431, "Page: %d cannot be addressed. TotalPageCount=%d", pageNo,
                header_.TotalPageCount);
  std::vector<uint8_t> pfs;
  const int64_t pfsPage = map_.PfsPageOf(pageNo);
  LoadMap(pfsPage, ptPFS, used ? kWrongTypeMarkUsed : kWrongTypeMarkFree, pfs);
  uint8_t& byte = pfs[kPageHeaderSize + map_.PfsByteOf(pageNo)];
  const uint8_t mask = static_cast<uint8_t>(1u << map_.PfsBitOf(pageNo));
  bool isSet = byte & mask;
  if (isSet == used) {
    if (!tolerateSame) RaiseORQFmt(used ? 30425 : 30427, used ? "Page: %d already used" : "Page: %d already free", pageNo);
  } else {
    byte = used ? (byte | mask) : (byte & ~mask);
    store_.WriteMapPage(static_cast<int32_t>(pfsPage), pfs.data());
  }
  UpdateExtentPair(map_.ExtentOf(pageNo));
}

void TORQDatabaseFreeSpaceManager::UpdateExtentPair(int64_t extent) {
  const int64_t total = header_.TotalPageCount;
  const int64_t eamPage = map_.EamPageOfExtent(extent);
  if (eamPage >= total) return;
  const int64_t first = extent * map_.PagesPerExtent();
  const int64_t end = first + map_.PagesPerExtent();
  std::vector<uint8_t> pfs;
  int64_t loadedPfs = -1;
  int64_t used = 0;
  for (int64_t p = first; p < end && p < total; ++p) {
    int64_t pfsPage = map_.PfsPageOf(p);
    if (pfsPage != loadedPfs) {
      LoadMap(pfsPage, ptPFS, kWrongTypeMarkUsed, pfs);
      loadedPfs = pfsPage;
    }
    used += (pfs[kPageHeaderSize + map_.PfsByteOf(p)] >> map_.PfsBitOf(p)) & 1;
  }
  uint8_t pair = used == map_.PagesPerExtent() ? 3 : used > 0 ? 1 : 0;
  std::vector<uint8_t> eam;
  LoadMap(eamPage, ptEAM, kWrongTypeMarkUsed, eam);
  uint8_t& byte = eam[kPageHeaderSize + map_.EamByteOf(extent)];
  const int shift = map_.EamShiftOf(extent);
  uint8_t updated = static_cast<uint8_t>((byte & ~(3u << shift)) | (pair << shift));
  if (updated != byte) {
    byte = updated;
    store_.WriteMapPage(static_cast<int32_t>(eamPage), eam.data());
  }
}

void TORQDatabaseFreeSpaceManager::FreePage(int32_t pageNo) {
  if (map_.IsMapPage(pageNo)) RaiseORQFmt(30434, "Cannot delete PFS or EAM page. PageNo=%d", pageNo);
  SetUsedBit(pageNo, false, false);
  store_.MarkPageFreed(pageNo);
  header_.HighestPageInUse = FindHighestUsed();
  ShrinkIfPossible();
}

int32_t TORQDatabaseFreeSpaceManager::FindHighestUsed() {
  const int64_t total = header_.TotalPageCount;
  if (total <= 0) return -1;
  std::vector<uint8_t> pfs;
  for (int64_t pfsPage = map_.PfsPageOf(total - 1); pfsPage >= 0; pfsPage -= map_.PagesPerPfs()) {
    LoadMap(pfsPage, ptPFS, kWrongTypeHighest, pfs);
    int64_t last = std::min<int64_t>(total - 1 - pfsPage, map_.PagesPerPfs() - 1);
    for (int64_t r = last; r >= 0; --r) {
      if (!((pfs[kPageHeaderSize + r / 8] >> (r % 8)) & 1)) continue;
      if (!map_.IsMapPage(pfsPage + r)) return static_cast<int32_t>(pfsPage + r);
    }
  }
  return -1;
}

void TORQDatabaseFreeSpaceManager::ShrinkIfPossible() {
  const int32_t step = GrowthStep();
  const int32_t spare = header_.TotalPageCount - 1 - header_.HighestPageInUse;
  if (spare < step) return;
  header_.TotalPageCount -= spare / step * step;
  store_.SetPageCount(header_.TotalPageCount);
}

void TORQDatabaseFreeSpaceManager::Truncate() {
  const int32_t n = header_.TotalPageCount - 1 - header_.HighestPageInUse;
  if (n <= 0) return;
  header_.TotalPageCount -= n;
  store_.SetPageCount(header_.TotalPageCount);
}

std::vector<std::string> TORQDatabaseFreeSpaceManager::Check() {
  std::vector<std::string> problems;
  const int64_t total = header_.TotalPageCount;
  auto readMap = [&](int64_t p, uint16_t type, std::vector<uint8_t>& buf) {
    try {
      LoadMap(p, type, kWrongTypeHighest, buf);
      return true;
    } catch (const Exception& e) {
      problems.push_back(Format("Map page %lld: %s", static_cast<long long>(p), e.what()));
      return false;
    }
  };
  std::vector<uint8_t> pfs, eam;
  int64_t highest = -1;
  std::vector<uint8_t> usedBits(static_cast<size_t>(std::max<int64_t>(total, 0)), 0);
  for (int64_t pfsPage = 0; pfsPage < total; pfsPage += map_.PagesPerPfs()) {
    if (!readMap(pfsPage, ptPFS, pfs)) continue;
    for (int64_t p = pfsPage; p < total && p < pfsPage + map_.PagesPerPfs(); ++p) {
      bool used = (pfs[kPageHeaderSize + map_.PfsByteOf(p)] >> map_.PfsBitOf(p)) & 1;
      usedBits[p] = used;
      if (map_.IsMapPage(p) && !used)
        problems.push_back(Format("Map page %lld is not marked used", static_cast<long long>(p)));
      if (used && !map_.IsMapPage(p)) highest = p;
    }
  }
  if (highest != header_.HighestPageInUse)
    problems.push_back(Format("Highest page in use is %d in the header, %lld in the maps", header_.HighestPageInUse,
                              static_cast<long long>(highest)));
  for (int64_t g = 0; map_.EamPageNo(g) < total; ++g) {
    if (!readMap(map_.EamPageNo(g), ptEAM, eam)) continue;
    for (int64_t x = g * map_.ExtentsPerEam(); x < (g + 1) * map_.ExtentsPerEam(); ++x) {
      int64_t first = x * map_.PagesPerExtent();
      if (first >= total) break;
      int64_t used = 0;
      for (int64_t p = first; p < first + map_.PagesPerExtent() && p < total; ++p) used += usedBits[p];
      int pair = (eam[kPageHeaderSize + map_.EamByteOf(x)] >> map_.EamShiftOf(x)) & 3;
      bool full = used == map_.PagesPerExtent();
      if (((pair & 2) != 0) != full)
        problems.push_back(Format("Extent %lld: EAM says %s, PFS counts %lld used pages", static_cast<long long>(x),
                                  (pair & 2) ? "full" : "not full", static_cast<long long>(used)));
    }
  }
  return problems;
}

}  // namespace duz
