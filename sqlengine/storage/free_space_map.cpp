#include "sqlengine/storage/free_space_map.h"

#include "sqlengine/storage/page_header.h"

namespace duz {

TORQFreeSpaceMap::TORQFreeSpaceMap(uint16_t pageSize, uint16_t pagesPerExtent)
    : d_(static_cast<int64_t>(pageSize) - kPageHeaderSize), e_(pagesPerExtent) {}

bool TORQFreeSpaceMap::IsEamPage(int64_t page) const {
  if (page % PagesPerEam() == 0) return !IsPfsPage(page);
  int64_t q = page - 1;
  return q >= 0 && q % PagesPerPfs() == 0 && q % PagesPerEam() == 0;
}

int64_t TORQFreeSpaceMap::EamPageNo(int64_t group) const {
  int64_t p = group * PagesPerEam();
  return IsPfsPage(p) ? p + 1 : p;
}

}  // namespace duz
