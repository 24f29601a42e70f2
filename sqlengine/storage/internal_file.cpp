#include "sqlengine/storage/internal_file.h"

#include <algorithm>
#include <cstring>

#include "sqlengine/storage/buffer_compression.h"
#include "sqlengine/storage/byte_order.h"
#include "sqlengine/storage/disk_page_manager.h"
#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_manager.h"

namespace duz {

namespace {
// Holds a page for the scope and releases it.
class PageHold {
 public:
  PageHold(TORQPageManager& pm, TORQPage* page) : pm_(pm), page_(page) {}
  ~PageHold() { pm_.ReleasePage(page_); }
  TORQPage* operator->() const { return page_; }
  TORQPage* get() const { return page_; }

 private:
  TORQPageManager& pm_;
  TORQPage* page_;
};
}  // namespace

TORQInternalDBTransactedAccessFile::TORQInternalDBTransactedAccessFile(TORQPageManager& pages, uint16_t pageType,
                                                                       uint8_t compression, int compressionLevel)
    : pages_(pages), pageType_(pageType), compression_(compression), level_(compressionLevel) {}

void TORQInternalDBTransactedAccessFile::RequireOpen(const char* operation) const {
  if (startPage_ < 0) RaiseORQFmt(30389, "Cannot perform this operation (%s) on closed internal file", operation);
}

int32_t TORQInternalDBTransactedAccessFile::Create(int32_t sessionId) {
  if (startPage_ >= 0) RaiseORQFmt(30383, "Cannot create Internal file. File already exists. StartPageNo=%d", startPage_);
  PageHold page(pages_, pages_.AddPage(sessionId, pageType_));
  uint8_t* d = page->Data();
  std::memset(d, 0, page->DataSize());
  d[0] = kInternalFileHeaderSize;
  d[9] = compression_;
  page->Dirty = true;
  startPage_ = page->PageNo;
  return startPage_;
}

void TORQInternalDBTransactedAccessFile::Open(int32_t startPageNo) {
  if (startPage_ >= 0) RaiseORQFmt(30383, "Cannot create Internal file. File already exists. StartPageNo=%d", startPage_);
  startPage_ = startPageNo;
}

std::vector<int32_t> TORQInternalDBTransactedAccessFile::Chain(int32_t sessionId) {
  RequireOpen("GetChain");
  std::vector<int32_t> chain;
  const int32_t total = pages_.GetTotalPageCount();
  for (int32_t next = startPage_; next != -1;) {
    if (next < 0 || next >= total || static_cast<int32_t>(chain.size()) >= total)
      RaiseORQFmt(20300, "Error getting %d-th table file page. Probably database is corrupted and needs repair.",
                  static_cast<int>(chain.size()));
    chain.push_back(next);
    PageHold page(pages_, pages_.GetPage(sessionId, next, true, static_cast<uint8_t>(pageType_)));
    next = page->Header().NextPage();
  }
  return chain;
}

std::string TORQInternalDBTransactedAccessFile::Read(int32_t sessionId) {
  RequireOpen("Read");
  const size_t d = pages_.DataSize();
  std::vector<int32_t> chain = Chain(sessionId);
  int32_t stored, logical;
  uint8_t algorithm;
  std::string bytes;
  {
    PageHold first(pages_, pages_.GetPage(sessionId, startPage_, true, static_cast<uint8_t>(pageType_)));
    const uint8_t* h = first->Data();
    stored = le::GetI32(h + 1);
    logical = le::GetI32(h + 5);
    algorithm = h[9];
  }
  const int64_t capacity = static_cast<int64_t>(chain.size()) * static_cast<int64_t>(d) - kInternalFileHeaderSize;
  if (stored < 0 || logical < 0 || stored > capacity)
    RaiseORQFmt(30388, "Cannot Read %% bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d", logical, stored,
                static_cast<int>(std::max<int64_t>(capacity, 0)));
  bytes.reserve(static_cast<size_t>(stored));
  for (size_t i = 0; bytes.size() < static_cast<size_t>(stored); ++i) {
    PageHold page(pages_, pages_.GetPage(sessionId, chain[i], true, static_cast<uint8_t>(pageType_)));
    size_t from = i == 0 ? kInternalFileHeaderSize : 0;
    size_t n = std::min(d - from, static_cast<size_t>(stored) - bytes.size());
    bytes.append(reinterpret_cast<const char*>(page->Data() + from), n);
  }
  if (algorithm == 0) {
    if (logical != stored) RaiseORQFmt(30387, "Cannot Read internal file. FileSize=%d. ReadSize=%d", stored, logical);
    return bytes;
  }
  // zlib cannot expand beyond about 1032:1; a larger claim is corruption.
  if (static_cast<int64_t>(logical) > static_cast<int64_t>(stored) * 1100 + 1024)
    RaiseORQFmt(20189, "Table file decompression error. Possible table corruption (%s)", "invalid size");
  std::optional<std::string> out = DecompressBuffer(algorithm, bytes, static_cast<size_t>(logical));
  if (!out) RaiseORQFmt(20189, "Table file decompression error. Possible table corruption (%s)", "decompress");
  return *out;
}

void TORQInternalDBTransactedAccessFile::Write(int32_t sessionId, const std::string& content) {
  RequireOpen("Write");
  std::string stored = content;
  if (compression_ != 0 && !content.empty()) {
    std::optional<std::string> packed = CompressBuffer(compression_, level_, content);
    if (!packed || packed->empty()) RaiseORQ(20187, "Table file compression error");
    stored = std::move(*packed);
  }
  std::string image(kInternalFileHeaderSize, '\0');
  image[0] = static_cast<char>(kInternalFileHeaderSize);
  le::PutI32(reinterpret_cast<uint8_t*>(&image[1]), static_cast<int32_t>(stored.size()));
  le::PutI32(reinterpret_cast<uint8_t*>(&image[5]), static_cast<int32_t>(content.size()));
  image[9] = static_cast<char>(content.empty() ? 0 : compression_);
  image += stored;
  const size_t d = pages_.DataSize();
  const size_t needed = (image.size() + d - 1) / d;
  std::vector<int32_t> chain = Chain(sessionId);
  std::vector<int32_t> extra(chain.begin() + static_cast<std::ptrdiff_t>(std::min(needed, chain.size())), chain.end());
  chain.resize(std::min(needed, chain.size()));
  while (chain.size() < needed) {
    PageHold added(pages_, pages_.AddPage(sessionId, pageType_));
    chain.push_back(added->PageNo);
  }
  for (size_t k = 0; k < needed; ++k) {
    PageHold page(pages_, pages_.GetPage(sessionId, chain[k], true, static_cast<uint8_t>(pageType_)));
    uint8_t* data = page->Data();
    size_t n = std::min(d, image.size() - k * d);
    std::memcpy(data, image.data() + k * d, n);
    std::memset(data + n, 0, d - n);
    page->Header().SetNextPage(k + 1 < needed ? chain[k + 1] : -1);
    page->Dirty = true;
  }
  for (int32_t pageNo : extra) pages_.FreePage(sessionId, pageNo);
}

void TORQInternalDBTransactedAccessFile::FreeAll(int32_t sessionId) {
  for (int32_t pageNo : Chain(sessionId)) pages_.FreePage(sessionId, pageNo);
  startPage_ = -1;
}

// ---------------------------------------------------------------------------

TORQInternalDBDirectAccessFile::TORQInternalDBDirectAccessFile(TORQDiskPageManager& pages, uint16_t pageType)
    : pages_(pages), pageType_(pageType) {}

void TORQInternalDBDirectAccessFile::RequireOpen(const char* operation) const {
  if (startPage_ < 0) RaiseORQFmt(20156, "Cannot perform this operation (%s) on closed internal file", operation);
}

int32_t TORQInternalDBDirectAccessFile::Create(int32_t sessionId, int32_t size) {
  if (startPage_ >= 0) RaiseORQFmt(20157, "Cannot create Internal file. File already exists. StartPageNo=%d", startPage_);
  const size_t d = pages_.DataSize();
  const size_t needed = (static_cast<size_t>(size) + kInternalFileHeaderSize + d - 1) / d;
  std::vector<int32_t> chain;
  for (size_t k = 0; k < needed; ++k) {
    PageHold page(pages_, pages_.AddPage(sessionId, pageType_));
    page->EncryptOnWrite = false;
    std::memset(page->Data(), 0, d);
    chain.push_back(page->PageNo);
  }
  for (size_t k = 0; k < needed; ++k) {
    PageHold page(pages_, pages_.GetPage(sessionId, chain[k], false, static_cast<uint8_t>(pageType_)));
    if (k == 0) le::PutI32(page->Data() + 1, size);
    page->Header().SetNextPage(k + 1 < needed ? chain[k + 1] : -1);
    page->Dirty = true;
  }
  startPage_ = chain.front();
  size_ = size;
  chain_ = std::move(chain);
  return startPage_;
}

void TORQInternalDBDirectAccessFile::Open(int32_t startPageNo) {
  if (startPage_ >= 0) RaiseORQFmt(20157, "Cannot create Internal file. File already exists. StartPageNo=%d", startPage_);
  const int32_t total = pages_.Header().TotalPageCount;
  const uint64_t base = pages_.BaseOffset();
  auto corrupt = [](size_t index) {
    RaiseORQFmt(20300, "Error getting %d-th table file page. Probably database is corrupted and needs repair.",
                static_cast<int>(index));
  };
  if (startPageNo < 0 || startPageNo >= total) corrupt(0);
  uint8_t header[kPageHeaderSize + 5];
  pages_.ReadDirect(pages_.PagePosition(startPageNo) - base, header, sizeof header, 10474);
  uint16_t type = TORQPageHeader(header).PageType();
  if (type != pageType_) RaiseORQFmt(20155, "Invalid PageType found: %d but expecting: %d", type, pageType_);
  const int32_t size = le::GetI32(header + kPageHeaderSize + 1);
  const size_t d = pages_.DataSize();
  if (size < 0) corrupt(0);
  const size_t needed = (static_cast<size_t>(size) + kInternalFileHeaderSize + d - 1) / d;
  if (needed > static_cast<size_t>(total)) corrupt(0);
  std::vector<int32_t> chain{startPageNo};
  int32_t next = TORQPageHeader(header).NextPage();
  while (chain.size() < needed) {
    if (next < 0 || next >= total) corrupt(chain.size());
    chain.push_back(next);
    pages_.ReadDirect(pages_.PagePosition(next) - base, header, kPageHeaderSize, 10474);
    if (TORQPageHeader(header).PageType() != pageType_)
      RaiseORQFmt(20155, "Invalid PageType found: %d but expecting: %d", TORQPageHeader(header).PageType(), pageType_);
    next = TORQPageHeader(header).NextPage();
  }
  startPage_ = startPageNo;
  size_ = size;
  chain_ = std::move(chain);
}

void TORQInternalDBDirectAccessFile::Close() {
  startPage_ = -1;
  size_ = 0;
  chain_.clear();
}

uint64_t TORQInternalDBDirectAccessFile::ByteOffset(int32_t b) const {
  const uint64_t d = pages_.DataSize();
  const uint64_t at = static_cast<uint64_t>(b) + kInternalFileHeaderSize;
  return pages_.PagePosition(chain_[at / d]) - pages_.BaseOffset() + kPageHeaderSize + at % d;
}

void TORQInternalDBDirectAccessFile::ReadBytes(int32_t position, void* buffer, int32_t count) {
  RequireOpen("Read");
  if (position < 0 || position > size_ || count < 0 || count > size_ - position)
    RaiseORQFmt(20159, "Seek position bigger then file size. FileSize=%d. Position=%d", size_, position);
  auto* out = static_cast<uint8_t*>(buffer);
  const int32_t d = static_cast<int32_t>(pages_.DataSize());
  while (count > 0) {
    int32_t inPage = std::min(count, d - (position + kInternalFileHeaderSize) % d);
    pages_.ReadDirect(ByteOffset(position), out, static_cast<size_t>(inPage), 10474);
    out += inPage;
    position += inPage;
    count -= inPage;
  }
}

void TORQInternalDBDirectAccessFile::WriteBytes(int32_t position, const void* buffer, int32_t count) {
  RequireOpen("Write");
  if (position < 0 || count < 0 || position > size_ || count > size_ - position)
    RaiseORQFmt(20158, "Cannot write after end of file. FileSize=%d. Position=%d, Count=%d", size_, position, count);
  auto* in = static_cast<const uint8_t*>(buffer);
  const int32_t d = static_cast<int32_t>(pages_.DataSize());
  while (count > 0) {
    int32_t inPage = std::min(count, d - (position + kInternalFileHeaderSize) % d);
    pages_.WriteDirect(ByteOffset(position), in, static_cast<size_t>(inPage), 10475);
    in += inPage;
    position += inPage;
    count -= inPage;
  }
}

bool TORQInternalDBDirectAccessFile::LockByte(int32_t b) {
  RequireOpen("Lock");
  return b >= 0 && b < size_ && pages_.LockArea(ByteOffset(b), 1, 0);
}

bool TORQInternalDBDirectAccessFile::UnlockByte(int32_t b) {
  RequireOpen("Unlock");
  return b >= 0 && b < size_ && pages_.UnlockArea(ByteOffset(b));
}

bool TORQInternalDBDirectAccessFile::TestByte(int32_t b) {
  RequireOpen("Test");
  return b >= 0 && b < size_ && pages_.TestArea(ByteOffset(b));
}

bool TORQInternalDBDirectAccessFile::LockFile(int attempts, unsigned delayMs) {
  RequireOpen("LockFile");
  return pages_.LockArea(pages_.PagePosition(startPage_) - pages_.BaseOffset(), attempts, delayMs);
}

bool TORQInternalDBDirectAccessFile::UnlockFile() {
  RequireOpen("UnlockFile");
  return pages_.UnlockArea(pages_.PagePosition(startPage_) - pages_.BaseOffset());
}

}  // namespace duz
