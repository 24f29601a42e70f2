// Where the allocation maps sit and which bits describe a page. PFS pages
// hold one bit per page, EAM pages two bits per extent; the page size need
// not be a power of two.
#pragma once

#include <cstdint>

namespace duz {

class TORQFreeSpaceMap {
 public:
  TORQFreeSpaceMap(uint16_t pageSize, uint16_t pagesPerExtent);

  int64_t DataSize() const { return d_; }
  int64_t PagesPerExtent() const { return e_; }
  int64_t PagesPerPfs() const { return 8 * d_; }         // pages one PFS page covers
  int64_t ExtentsPerEam() const { return 4 * d_; }
  int64_t PagesPerEam() const { return 4 * d_ * e_; }    // pages one EAM page covers

  bool IsPfsPage(int64_t page) const { return page % PagesPerPfs() == 0; }
  bool IsEamPage(int64_t page) const;
  bool IsMapPage(int64_t page) const { return IsPfsPage(page) || IsEamPage(page); }

  int64_t PfsPageOf(int64_t page) const { return page / PagesPerPfs() * PagesPerPfs(); }
  // Byte of the PFS data area and bit in it for a page.
  int64_t PfsByteOf(int64_t page) const { return (page % PagesPerPfs()) / 8; }
  int PfsBitOf(int64_t page) const { return static_cast<int>((page % PagesPerPfs()) % 8); }

  int64_t ExtentOf(int64_t page) const { return page / e_; }
  int64_t EamPageNo(int64_t group) const;  // EAM page k
  int64_t EamPageOfExtent(int64_t extent) const { return EamPageNo(extent / ExtentsPerEam()); }
  int64_t EamByteOf(int64_t extent) const { return (extent % ExtentsPerEam()) / 4; }
  int EamShiftOf(int64_t extent) const { return static_cast<int>(2 * (extent % 4)); }

 private:
  int64_t d_;
  int64_t e_;
};

}  // namespace duz
