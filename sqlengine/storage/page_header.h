// The 40-byte header that starts every page of a database file.
#pragma once

#include <cstdint>

namespace duz {

constexpr uint16_t kPageHeaderSize = 40;
constexpr char kPageSignature[4] = {'O', 'R', 'Q', 'P'};

// Offsets inside the page header.
constexpr int kPhChangeCounter = 4;   // i32
constexpr int kPhPageType = 8;        // u16
constexpr int kPhNextPage = 10;       // i32, -1 = none
constexpr int kPhChecksum = 14;       // u32, plaintext data area of encrypted pages
constexpr int kPhCipherId = 20;       // u8
constexpr int kPhTableId = 22;        // i32, record pages
constexpr int kPhReserved26 = 26;     // i32

// Written straight into the on-disk change counter of a freed page.
constexpr int32_t kFreedChangeCounter = 0x7FFFFFFF;

// Accessors over a page buffer (at least kPageHeaderSize bytes).
class TORQPageHeader {
 public:
  explicit TORQPageHeader(uint8_t* buffer) : p_(buffer) {}

  // Fills a fresh header: signature, the given change counter and type, no
  // next page, zero checksum and cipher, table id -1.
  void Init(uint16_t pageType, int32_t changeCounter);

  bool HasSignature() const;
  int32_t ChangeCounter() const;
  void SetChangeCounter(int32_t v);
  uint16_t PageType() const;
  void SetPageType(uint16_t v);
  int32_t NextPage() const;
  void SetNextPage(int32_t v);
  uint32_t Checksum() const;
  void SetChecksum(uint32_t v);
  uint8_t CipherId() const { return p_[kPhCipherId]; }
  void SetCipherId(uint8_t v) { p_[kPhCipherId] = v; }
  int32_t TableId() const;
  void SetTableId(int32_t v);

 private:
  uint8_t* p_;
};

// The counter a page carries after one more write: +1, and 0 once the result
// would reach 0x7FFFFFFD (values from there up are reserved, 0x7FFFFFFF
// marking a freed page).
int32_t NextChangeCounter(int32_t counter);

// The counter a newly allocated page starts with: random in [0, 0x3FFFFFFF).
int32_t RandomInitialChangeCounter();

}  // namespace duz
