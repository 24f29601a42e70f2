#include "sqlengine/storage/page_header.h"

#include <cstring>

#include "platform/system.h"
#include "sqlengine/storage/byte_order.h"

namespace duz {

void TORQPageHeader::Init(uint16_t pageType, int32_t changeCounter) {
  std::memset(p_, 0, kPageHeaderSize);
  std::memcpy(p_, kPageSignature, 4);
  le::PutI32(p_ + kPhChangeCounter, changeCounter);
  le::PutU16(p_ + kPhPageType, pageType);
  le::PutI32(p_ + kPhNextPage, -1);
  le::PutI32(p_ + kPhTableId, -1);
  le::PutI32(p_ + kPhReserved26, -1);
}

bool TORQPageHeader::HasSignature() const { return std::memcmp(p_, kPageSignature, 4) == 0; }
int32_t TORQPageHeader::ChangeCounter() const { return le::GetI32(p_ + kPhChangeCounter); }
void TORQPageHeader::SetChangeCounter(int32_t v) { le::PutI32(p_ + kPhChangeCounter, v); }
uint16_t TORQPageHeader::PageType() const { return le::GetU16(p_ + kPhPageType); }
void TORQPageHeader::SetPageType(uint16_t v) { le::PutU16(p_ + kPhPageType, v); }
int32_t TORQPageHeader::NextPage() const { return le::GetI32(p_ + kPhNextPage); }
void TORQPageHeader::SetNextPage(int32_t v) { le::PutI32(p_ + kPhNextPage, v); }
uint32_t TORQPageHeader::Checksum() const { return le::GetU32(p_ + kPhChecksum); }
void TORQPageHeader::SetChecksum(uint32_t v) { le::PutU32(p_ + kPhChecksum, v); }
int32_t TORQPageHeader::TableId() const { return le::GetI32(p_ + kPhTableId); }
void TORQPageHeader::SetTableId(int32_t v) { le::PutI32(p_ + kPhTableId, v); }

int32_t NextChangeCounter(int32_t counter) {
  int64_t next = static_cast<int64_t>(counter) + 1;
  if (next >= 0x7FFFFFFD || next < 0) return 0;
  return static_cast<int32_t>(next);
}

int32_t RandomInitialChangeCounter() { return static_cast<int32_t>(os::Random(0x3FFFFFFF)); }

}  // namespace duz
