#include "sqlengine/storage/file_header.h"

#include <cstring>
#include <vector>

#include "sqlengine/storage/byte_order.h"

namespace duz {

std::array<uint8_t, kMainHeaderSize> TORQMainHeader::Encode() const {
  std::array<uint8_t, kMainHeaderSize> b{};
  std::memcpy(b.data(), Signature.data(), std::min(Signature.size(), kSignatureSize));
  le::PutU16(&b[16], HeaderSize);
  le::PutF64(&b[18], FormatVersion);
  le::PutU16(&b[26], PageSize);
  le::PutU16(&b[28], PagesPerExtent);
  le::PutI32(&b[30], TotalPageCount);
  le::PutI32(&b[34], HighestPageInUse);
  le::PutI32(&b[38], CommitCounter);
  b[42] = State;
  b[43] = Encrypted;
  return b;
}

TORQMainHeader TORQMainHeader::Decode(const uint8_t* p) {
  TORQMainHeader h;
  h.Signature.assign(reinterpret_cast<const char*>(p), kSignatureSize);
  h.HeaderSize = le::GetU16(p + 16);
  h.FormatVersion = le::GetF64(p + 18);
  h.PageSize = le::GetU16(p + 26);
  h.PagesPerExtent = le::GetU16(p + 28);
  h.TotalPageCount = le::GetI32(p + 30);
  h.HighestPageInUse = le::GetI32(p + 34);
  h.CommitCounter = le::GetI32(p + 38);
  h.State = p[42];
  h.Encrypted = p[43];
  return h;
}

std::array<uint8_t, kCryptoBlockSize> TORQCryptoBlock::Encode() const {
  std::array<uint8_t, kCryptoBlockSize> b{};
  le::PutU16(&b[0], BlockSize);
  b[2] = CipherId;
  std::memcpy(&b[4], CheckBlock.data(), CheckBlock.size());
  le::PutU32(&b[260], CheckSum);
  return b;
}

TORQCryptoBlock TORQCryptoBlock::Decode(const uint8_t* p) {
  TORQCryptoBlock c;
  c.BlockSize = le::GetU16(p);
  c.CipherId = p[2];
  std::memcpy(c.CheckBlock.data(), p + 4, c.CheckBlock.size());
  c.CheckSum = le::GetU32(p + 260);
  return c;
}

std::array<uint8_t, kLockBlockSize> EncodeLockBlock() {
  std::array<uint8_t, kLockBlockSize> b{};
  le::PutU16(&b[0], kLockBlockSize);
  return b;
}

bool IsDatabaseImageAt(const uint8_t* bytes, size_t available) {
  return available >= kSignatureSize + 2 && std::memcmp(bytes, kDatabaseSignature, kSignatureSize) == 0 &&
         le::GetU16(bytes + kSignatureSize) == kMainHeaderSize;
}

uint64_t FindBaseOffset(uint64_t fileSize, const std::function<size_t(uint64_t, uint8_t*, size_t)>& readAt) {
  constexpr size_t kPattern = kSignatureSize + 2;
  constexpr size_t kWindow = 10000;
  constexpr size_t kOverlap = kPattern - 1;
  uint8_t first[92];
  size_t got = readAt(0, first, sizeof first);
  if (IsDatabaseImageAt(first, got)) return 0;
  std::vector<uint8_t> window(kWindow);
  for (uint64_t start = 0; start < fileSize; start += kWindow - kOverlap) {
    size_t n = readAt(start, window.data(), kWindow);
    for (size_t i = 0; i + kPattern <= n; ++i)
      if (window[i] == 'O' && IsDatabaseImageAt(&window[i], n - i)) return start + i;
    if (n < kWindow) break;
  }
  return 0;
}

}  // namespace duz
