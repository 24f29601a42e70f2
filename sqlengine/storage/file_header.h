// The blocks at the start of a database file: main header, crypto block,
// lock block and next-object-id word, and the search for a database image
// stored after other data.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace duz {

constexpr char kDatabaseSignature[] = "ORQSTONEDATABASE";  // 16 chars, stored without terminator
constexpr size_t kSignatureSize = 16;
constexpr uint16_t kMainHeaderSize = 76;
constexpr uint16_t kCryptoBlockSize = 280;
constexpr uint16_t kLockBlockSize = 20;
constexpr uint32_t kNextObjectIdSize = 4;
constexpr uint32_t kPagesOffset = 380;  // 76 + 280 + 20 + 4
constexpr double kFormatVersion = 7.61;
// Files older than this, or left mid-commit, need repair.
constexpr double kMinSoundFormatVersion = 2.99;

constexpr uint8_t kStateCommitting = 1;
constexpr uint8_t kStateConsistent = 2;

// Lock targets, relative to the base offset.
constexpr uint32_t kTablesLockByte = 359;
constexpr uint32_t kFileLockByte = 360;
constexpr uint32_t kNextObjectIdByte = 376;

struct TORQMainHeader {
  std::string Signature = std::string(kDatabaseSignature, kSignatureSize);
  uint16_t HeaderSize = kMainHeaderSize;
  double FormatVersion = kFormatVersion;
  uint16_t PageSize = 4096;
  uint16_t PagesPerExtent = 8;
  int32_t TotalPageCount = 0;
  int32_t HighestPageInUse = -1;
  int32_t CommitCounter = 0;
  uint8_t State = kStateConsistent;
  uint8_t Encrypted = 0;

  bool IsEncrypted() const { return Encrypted != 0; }
  std::array<uint8_t, kMainHeaderSize> Encode() const;
  static TORQMainHeader Decode(const uint8_t* bytes);  // kMainHeaderSize bytes
};

struct TORQCryptoBlock {
  uint16_t BlockSize = kCryptoBlockSize;
  uint8_t CipherId = 0;
  std::array<uint8_t, 256> CheckBlock{};
  uint32_t CheckSum = 0;

  std::array<uint8_t, kCryptoBlockSize> Encode() const;
  static TORQCryptoBlock Decode(const uint8_t* bytes);  // kCryptoBlockSize bytes
};

std::array<uint8_t, kLockBlockSize> EncodeLockBlock();

// True when bytes (at least 18) hold the signature followed by a header-size
// field of 76.
bool IsDatabaseImageAt(const uint8_t* bytes, size_t available);

// Where the database image starts in a file of fileSize bytes. readAt(offset,
// buffer, count) returns the bytes it could read. Windows of 10,000 bytes are
// scanned, each overlapping the previous one by 17 bytes so that an 18-byte
// pattern crossing a window end is still seen. 0 when nothing is found.
uint64_t FindBaseOffset(uint64_t fileSize, const std::function<size_t(uint64_t, uint8_t*, size_t)>& readAt);

}  // namespace duz
