// The published ZIP structures as this component reads them: signatures,
// record sizes, little-endian field access and parsers over byte buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "ziparchive/zk_types.h"

namespace duz::zipfmt {

constexpr uint32_t kLocalHeaderSig = 0x04034b50;    // "PK" 03 04
constexpr uint32_t kCentralHeaderSig = 0x02014b50;  // "PK" 01 02
constexpr uint32_t kEndRecordSig = 0x06054b50;      // "PK" 05 06
constexpr uint32_t kZip64EndSig = 0x06064b50;       // "PK" 06 06
constexpr uint32_t kZip64LocatorSig = 0x07064b50;   // "PK" 06 07
constexpr uint32_t kDescriptorSig = 0x08074b50;     // "PK" 07 08

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kEncryptionHeaderSize = 12;
// A maximal comment (65,535 bytes) plus the end record and some slack.
constexpr uint64_t kEndSearchWindow = 65600;
constexpr size_t kMaxNameLength = 1000;

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

struct EndRecord {
  uint16_t DiskNumber = 0;
  uint16_t DirectoryDisk = 0;
  uint16_t EntriesOnDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t DirectorySize = 0;
  uint32_t DirectoryOffset = 0;
  uint16_t CommentLength = 0;
};

struct Zip64EndRecord {
  uint32_t DiskNumber = 0;
  uint32_t DirectoryDisk = 0;
  uint64_t EntriesOnDisk = 0;
  uint64_t TotalEntries = 0;
  uint64_t DirectorySize = 0;
  uint64_t DirectoryOffset = 0;
};

struct LocalHeader {
  uint32_t Signature = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
};

// tail holds the last tailSize bytes of a file of fileSize bytes. Scans
// backwards for the end record signature and accepts the first candidate
// whose comment reaches exactly to the end of the file; returns its offset
// in the file.
std::optional<uint64_t> FindEndRecord(const uint8_t* tail, size_t tailSize, uint64_t fileSize);

EndRecord ParseEndRecord(const uint8_t* p);            // kEndRecordSize bytes
Zip64EndRecord ParseZip64EndRecord(const uint8_t* p);  // kZip64EndSize bytes
LocalHeader ParseLocalHeader(const uint8_t* p);        // kLocalHeaderSize bytes

// Stored name bytes → entry name: UTF-8 (flag bit 11) or OEM 850 (when
// oemNames) converted to Windows-1252, cut to maxLength characters, "\" → "/".
std::string ConvertEntryName(std::string raw, uint16_t flags, bool oemNames, size_t maxLength);

// Parses the central directory header at p (avail bytes available) into
// item; returns the number of bytes it takes, 0 when it does not fit or its
// signature is wrong.
size_t ParseCentralEntry(const uint8_t* p, size_t avail, bool oemNames, TZKDirItem& item);

// Reads the Zip64 extended-information block from item.Extra into the 64-bit
// fields (item's header fields must be set).
void ApplyZip64Block(TZKDirItem& item);

}  // namespace duz::zipfmt
