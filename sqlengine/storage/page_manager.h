// The page mechanism shared by disk, temporary and memory storage: a shared
// LRU cache of clean pages, and per session a private list of changed pages
// plus the numbers it allocated and freed. Changes stay private to the
// session until CommitSession writes them; RollbackSession discards them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "sqlengine/storage/page.h"
#include "sqlengine/storage/sorted_page_list.h"

namespace duz {

constexpr int32_t kSystemSessionId = -2;
constexpr int32_t kInvalidSessionId = -1;

class TORQPageManager {
 public:
  TORQPageManager(uint16_t pageSize, uint16_t headerSize);
  virtual ~TORQPageManager();
  TORQPageManager(const TORQPageManager&) = delete;
  TORQPageManager& operator=(const TORQPageManager&) = delete;

  uint16_t PageSize() const { return pageSize_; }
  uint16_t HeaderSize() const { return headerSize_; }
  size_t DataSize() const { return static_cast<size_t>(pageSize_) - headerSize_; }

  virtual int32_t GetTotalPageCount() { return pageCount_; }
  virtual bool IsPageValidated(int32_t sessionId, TORQPage& page) { return false; }
  virtual void SetPageValidated(int32_t sessionId, TORQPage& page) {}
  virtual void AllocatePageNo(TORQPage& page) = 0;
  virtual void FreePageNo(int32_t pageNo) = 0;
  virtual bool ReadPage(TORQPage& page) = 0;
  virtual void WritePage(TORQPage& page) = 0;
  virtual void FreePage(int32_t sessionId, int32_t pageNo);
  // pageType 255 accepts any type.
  virtual TORQPage* GetPage(int32_t sessionId, int32_t pageNo, bool validate, uint8_t pageType);
  virtual void CommitSession(int32_t sessionId);

  TORQPage* AddPage(int32_t sessionId, uint16_t pageType);
  void ReleasePage(TORQPage* page);
  void RollbackSession(int32_t sessionId);

  // Whether a session has anything to commit or roll back.
  bool SessionHasChanges(int32_t sessionId) const;
  // "Cannot free non-commited pages" while a session still holds changes.
  void CheckNoPendingPages() const;

  size_t CacheCapacity() const { return cacheCapacity_; }
  void SetCacheCapacity(size_t pages);
  size_t CachedPageCount() const { return cache_.Count(); }
  bool IsCached(int32_t pageNo) const { return cache_.Find(pageNo) != nullptr; }

  // Page type and checksum checks are skipped while set.
  bool NoChecks() const { return noChecks_; }
  void SetNoChecks(bool value) { noChecks_ = value; }

  std::recursive_mutex& Lock() { return mutex_; }

 protected:
  struct SessionPages {
    TORQSortedPageList Private;
    std::vector<int32_t> Allocated;
    std::vector<int32_t> Freed;
  };
  SessionPages& Session(int32_t sessionId);
  void SetPageGeometry(uint16_t pageSize, uint16_t headerSize) {
    pageSize_ = pageSize;
    headerSize_ = headerSize;
  }
  // Refreshes a cached page from the file when it may be stale.
  virtual void ValidateAgainstFile(TORQPage& page) {}
  void DropFromCache(int32_t pageNo);
  void DiscardAllCachedPages();
  void EvictOverCapacity();

  int32_t pageCount_ = 0;

 private:
  std::recursive_mutex mutex_;
  uint16_t pageSize_;
  uint16_t headerSize_;
  size_t cacheCapacity_;
  bool noChecks_ = false;
  TORQSortedPageList cache_;
  std::map<int32_t, std::unique_ptr<SessionPages>> sessions_;
};

// min(available memory / 64 KiB, 1000) pages.
size_t DefaultPageCacheCapacity();

}  // namespace duz
