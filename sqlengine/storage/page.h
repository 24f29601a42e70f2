// One page image handed out by a page manager.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sqlengine/storage/page_header.h"

namespace duz {

class TORQPageManager;

enum class TORQPageListKind { None, SharedCache, SessionList };

// Validation memory of one session for one page (multi-user mode).
struct TORQPageValidation {
  int32_t TableVersion = -1;
  bool Set = false;
};

class TORQPage {
 public:
  TORQPage(TORQPageManager* manager, uint16_t pageSize, uint16_t headerSize);
  TORQPage(const TORQPage&) = delete;
  TORQPage& operator=(const TORQPage&) = delete;

  TORQPageManager* Manager() const { return manager_; }

  // Gives the page its own zeroed buffer of page-size bytes when it has none.
  void AllocateBuffer();
  // Uses a block owned by someone else (memory page managers).
  void AttachBuffer(uint8_t* buffer);
  // A buffer smaller than the page size is refused.
  void ResizeBuffer(size_t size);
  bool HasBuffer() const { return buffer_ != nullptr; }
  bool OwnsBuffer() const { return !owned_.empty() && buffer_ == owned_.data(); }

  uint8_t* Buffer() const;  // "Invalid page buffer. Buffer is Nil" without one
  uint8_t* Data() const { return Buffer() + headerSize_; }
  TORQPageHeader Header() const { return TORQPageHeader(Buffer()); }
  uint16_t PageSize() const { return pageSize_; }
  uint16_t HeaderSize() const { return headerSize_; }
  size_t DataSize() const { return static_cast<size_t>(pageSize_) - headerSize_; }

  int32_t PageNo = -1;
  bool Dirty = false;
  int UseCount = 0;
  int32_t SessionId = -1;
  TORQPageListKind List = TORQPageListKind::None;
  bool Loaded = false;
  bool EncryptOnWrite = true;

  // Indexed by session id + 2.
  TORQPageValidation* Validation(int32_t sessionId);
  void SetValidation(int32_t sessionId, int32_t tableVersion);

 private:
  TORQPageManager* manager_;
  uint16_t pageSize_;
  uint16_t headerSize_;
  uint8_t* buffer_ = nullptr;
  std::vector<uint8_t> owned_;
  std::vector<TORQPageValidation> validation_;
};

}  // namespace duz
