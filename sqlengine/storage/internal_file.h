// Internal files: structures that are not tables, kept in chains of pages of
// one type linked by the page header's next-page field. Both kinds begin
// with a 10-byte file header in the first page's data area:
//   u8 header size (10), i32 stored size, i32 logical size, u8 algorithm id.
// Stored byte i lives at data offset (i + 10) mod D of chain page (i + 10) div D.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace duz {

class TORQPageManager;
class TORQDiskPageManager;

constexpr uint8_t kInternalFileHeaderSize = 10;

// Read and written whole through the page cache inside a session, so that
// changes commit or roll back with it. Metadata files are zlib-compressed.
class TORQInternalDBTransactedAccessFile {
 public:
  TORQInternalDBTransactedAccessFile(TORQPageManager& pages, uint16_t pageType, uint8_t compression = 0,
                                     int compressionLevel = 1);

  // Allocates the first page and writes an empty file; returns its number.
  int32_t Create(int32_t sessionId);
  void Open(int32_t startPageNo);
  void Close() { startPage_ = -1; }
  bool IsOpen() const { return startPage_ >= 0; }
  int32_t StartPageNo() const { return startPage_; }

  std::string Read(int32_t sessionId);
  // Replaces the content: the chain is lengthened or cut to fit.
  void Write(int32_t sessionId, const std::string& content);
  // Frees every page of the chain (the file is gone after commit).
  void FreeAll(int32_t sessionId);
  // Page numbers of the chain, first to last.
  std::vector<int32_t> Chain(int32_t sessionId);

 private:
  void RequireOpen(const char* operation) const;

  TORQPageManager& pages_;
  uint16_t pageType_;
  uint8_t compression_;
  int level_;
  int32_t startPage_ = -1;
};

// Fixed-size files read and written straight at file positions, bypassing
// the cache, never encrypted: they carry the bytes that processes lock.
class TORQInternalDBDirectAccessFile {
 public:
  TORQInternalDBDirectAccessFile(TORQDiskPageManager& pages, uint16_t pageType);

  // Allocates the chain in the session (written at its commit).
  int32_t Create(int32_t sessionId, int32_t size);
  // Reads the chain straight from the file.
  void Open(int32_t startPageNo);
  void Close();
  bool IsOpen() const { return startPage_ >= 0; }
  int32_t StartPageNo() const { return startPage_; }
  int32_t Size() const { return size_; }
  const std::vector<int32_t>& Pages() const { return chain_; }

  void ReadBytes(int32_t position, void* buffer, int32_t count);
  void WriteBytes(int32_t position, const void* buffer, int32_t count);

  // Offset, relative to the database base, of file byte b.
  uint64_t ByteOffset(int32_t b) const;
  bool LockByte(int32_t b);
  bool UnlockByte(int32_t b);
  bool TestByte(int32_t b);  // true when nobody holds it
  // The file's own lock: byte 0 of its first page, 4500 attempts 20 ms apart.
  bool LockFile(int attempts = 4500, unsigned delayMs = 20);
  bool UnlockFile();

 private:
  void RequireOpen(const char* operation) const;

  TORQDiskPageManager& pages_;
  uint16_t pageType_;
  int32_t startPage_ = -1;
  int32_t size_ = 0;
  std::vector<int32_t> chain_;
};

}  // namespace duz
