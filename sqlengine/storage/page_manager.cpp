#include "sqlengine/storage/page_manager.h"

#include <algorithm>

#include "platform/system.h"
#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_types.h"

namespace duz {

size_t DefaultPageCacheCapacity() {
  uint64_t available = os::AvailablePhysicalMemory();
  if (available == 0) return 1000;  // unknown: no reason to starve the cache
  return static_cast<size_t>(std::min<uint64_t>(available / 65536, 1000));
}

TORQPageManager::TORQPageManager(uint16_t pageSize, uint16_t headerSize)
    : pageSize_(pageSize), headerSize_(headerSize), cacheCapacity_(DefaultPageCacheCapacity()) {}

TORQPageManager::~TORQPageManager() = default;

void TORQPageManager::SetCacheCapacity(size_t pages) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  cacheCapacity_ = pages;
  EvictOverCapacity();
}

TORQPageManager::SessionPages& TORQPageManager::Session(int32_t sessionId) {
  auto& s = sessions_[sessionId];
  if (!s) s = std::make_unique<SessionPages>();
  return *s;
}

bool TORQPageManager::SessionHasChanges(int32_t sessionId) const {
  auto it = sessions_.find(sessionId);
  if (it == sessions_.end()) return false;
  const SessionPages& s = *it->second;
  return s.Private.Count() > 0 || !s.Allocated.empty() || !s.Freed.empty();
}

void TORQPageManager::CheckNoPendingPages() const {
  for (const auto& [id, s] : sessions_)
    if (s->Private.Count() > 0) RaiseORQ(20097, "Cannot free non-commited pages");
}

void TORQPageManager::FreePage(int32_t sessionId, int32_t pageNo) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (sessionId == kInvalidSessionId) RaiseORQ(20186, "Invalid Session ID");
  Session(sessionId).Freed.push_back(pageNo);
}

TORQPage* TORQPageManager::GetPage(int32_t sessionId, int32_t pageNo, bool validate, uint8_t pageType) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (sessionId == kInvalidSessionId) RaiseORQ(20186, "Invalid Session ID");
  SessionPages& s = Session(sessionId);
  TORQPage* page = s.Private.Find(pageNo);
  if (!page) {
    page = cache_.Find(pageNo);
    if (page) {
      if (validate && page->UseCount == 0 && !IsPageValidated(sessionId, *page)) {
        ValidateAgainstFile(*page);
        SetPageValidated(sessionId, *page);
      }
    } else {
      auto fresh = std::make_unique<TORQPage>(this, pageSize_, headerSize_);
      fresh->PageNo = pageNo;
      if (!ReadPage(*fresh)) RaiseORQFmt(20299, "Error reading database file page. Page No: %d, type %d", pageNo, pageType);
      if (!noChecks_ && pageType != kAnyPageType && headerSize_ > 0 && fresh->Header().PageType() != pageType)
        RaiseORQFmt(20153, "Invalid page type. Possible data corruption. Expecting type %d, but found %d", pageType,
                    fresh->Header().PageType());
      fresh->List = TORQPageListKind::SharedCache;
      page = cache_.Insert(std::move(fresh));
      SetPageValidated(sessionId, *page);
    }
  }
  if (page->UseCount > 0 && page->SessionId != sessionId) RaiseORQ(20090, "Page is used by other session");
  page->SessionId = sessionId;
  page->UseCount += 1;
  return page;
}

TORQPage* TORQPageManager::AddPage(int32_t sessionId, uint16_t pageType) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (sessionId == kInvalidSessionId) RaiseORQ(20186, "Invalid Session ID");
  auto page = std::make_unique<TORQPage>(this, pageSize_, headerSize_);
  AllocatePageNo(*page);
  if (page->PageNo == -1) RaiseORQ(20064, "Invalid page number");
  page->UseCount = 1;
  page->Dirty = true;
  page->Loaded = false;
  page->AllocateBuffer();
  if (headerSize_ > 0) {
    page->Header().SetPageType(pageType);
    page->Header().SetChangeCounter(RandomInitialChangeCounter());
  }
  page->SessionId = sessionId;
  page->List = TORQPageListKind::SessionList;
  DropFromCache(page->PageNo);
  SessionPages& s = Session(sessionId);
  s.Allocated.push_back(page->PageNo);
  return s.Private.Insert(std::move(page));
}

void TORQPageManager::ReleasePage(TORQPage* page) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (!page || page->UseCount <= 0) return;
  page->UseCount -= 1;
  if (page->UseCount == 0) {
    page->Loaded = false;
    if (page->List == TORQPageListKind::SharedCache) {
      if (page->Dirty) {
        std::unique_ptr<TORQPage> moved = cache_.Delete(page->PageNo);
        moved->List = TORQPageListKind::SessionList;
        Session(moved->SessionId).Private.Insert(std::move(moved));
      } else {
        cache_.Touch(page->PageNo);
      }
    }
  }
  EvictOverCapacity();
}

void TORQPageManager::EvictOverCapacity() {
  while (cache_.Count() > cacheCapacity_) {
    size_t oldest = cache_.Count();
    for (size_t i = 0; i < cache_.Count(); ++i)
      if (cache_.At(i)->UseCount == 0 && (oldest == cache_.Count() || cache_.StampAt(i) < cache_.StampAt(oldest)))
        oldest = i;
    if (oldest == cache_.Count()) return;  // every cached page is handed out
    cache_.Delete(cache_.At(oldest)->PageNo);
  }
}

void TORQPageManager::DropFromCache(int32_t pageNo) {
  if (TORQPage* cached = cache_.Find(pageNo); cached && cached->UseCount == 0) cache_.Delete(pageNo);
}

void TORQPageManager::DiscardAllCachedPages() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  for (size_t i = cache_.Count(); i-- > 0;)
    if (cache_.At(i)->UseCount == 0) cache_.Delete(cache_.At(i)->PageNo);
}

void TORQPageManager::CommitSession(int32_t sessionId) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (sessionId == kInvalidSessionId) RaiseORQ(20186, "Invalid Session ID");
  for (size_t i = 0; i < cache_.Count(); ++i)
    if (cache_.At(i)->SessionId == sessionId && cache_.At(i)->UseCount > 0)
      RaiseORQ(20152, "Some session pages not released");
  SessionPages& s = Session(sessionId);
  for (size_t i = 0; i < s.Private.Count(); ++i) {
    if (!s.Private.At(i)->Dirty) RaiseORQ(20085, "Invalid page");
    if (s.Private.At(i)->UseCount > 0) RaiseORQ(20086, "Cannot write used page");
  }
  for (int32_t pageNo : s.Freed) {
    FreePageNo(pageNo);
    if (s.Private.Find(pageNo)) s.Private.Delete(pageNo);
    DropFromCache(pageNo);
  }
  s.Freed.clear();
  s.Allocated.clear();
  // Written in ascending page number; a page that fails stays in the list.
  while (s.Private.Count() > 0) {
    TORQPage* page = s.Private.At(0);
    WritePage(*page);
    page->Dirty = false;
    std::unique_ptr<TORQPage> written = s.Private.Delete(page->PageNo);
    if (cache_.Find(written->PageNo)) cache_.Delete(written->PageNo);
    if (cache_.Count() < cacheCapacity_) {
      written->List = TORQPageListKind::SharedCache;
      cache_.Insert(std::move(written));
    }
  }
}

void TORQPageManager::RollbackSession(int32_t sessionId) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (sessionId == kInvalidSessionId) RaiseORQ(20186, "Invalid Session ID");
  SessionPages& s = Session(sessionId);
  for (size_t i = 0; i < s.Private.Count(); ++i) {
    if (!s.Private.At(i)->Dirty) RaiseORQ(20087, "Invalid index page");
    if (s.Private.At(i)->UseCount > 0) RaiseORQ(20088, "Cannot remove used page");
  }
  s.Private.TakeAll();
  std::vector<int32_t> allocated;
  allocated.swap(s.Allocated);
  s.Freed.clear();
  for (int32_t pageNo : allocated) FreePageNo(pageNo);
}

}  // namespace duz
