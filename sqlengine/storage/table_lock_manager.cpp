#include "sqlengine/storage/table_lock_manager.h"

#include <algorithm>

#include "platform/system.h"
#include "sqlengine/storage/byte_order.h"
#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_types.h"
#include "sqlengine/storage/table_pages_cache_manager.h"

namespace duz {

namespace {
// Row: held kind, column: requested kind; 1 = may be granted beside it.
constexpr int kMatrix[7][7] = {
    {1, 1, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 0, 1, 0}, {1, 1, 1, 0, 1, 1, 0}, {1, 1, 0, 0, 0, 1, 0},
    {1, 0, 1, 0, 0, 1, 0}, {1, 1, 1, 1, 1, 1, 0}, {0, 0, 0, 0, 0, 0, 0},
};
}  // namespace

bool TableLocksCompatible(int held, int requested) { return kMatrix[held][requested] == 1; }

bool TableLockMakesRedundant(int held, int requested) {
  for (int j = 0; j < 7; ++j)
    if (kMatrix[held][j] && !kMatrix[requested][j]) return false;
  return true;
}

TORQTableLocksFile::TORQTableLocksFile(TORQDiskPageManager& pages, int32_t slotCount)
    : file_(pages, ptTableLocks), slots_(slotCount) {}

TORQDatabaseTableLockManager::TORQDatabaseTableLockManager(bool exclusiveDatabase,
                                                           TORQDiskTablePagesCacheManager* pagesCache)
    : exclusiveDatabase_(exclusiveDatabase), pagesCache_(pagesCache) {}

TORQDatabaseTableLockManager::Entry* TORQDatabaseTableLockManager::FindEntry(int32_t sessionId, int32_t tableId,
                                                                              int kind) {
  auto it = sessions_.find(sessionId);
  if (it == sessions_.end()) return nullptr;
  for (Entry& e : it->second)
    if (e.TableId == tableId && e.Kind == kind) return &e;
  return nullptr;
}

const TORQDatabaseTableLockManager::Entry* TORQDatabaseTableLockManager::FindEntry(int32_t sessionId,
                                                                                    int32_t tableId, int kind) const {
  return const_cast<TORQDatabaseTableLockManager*>(this)->FindEntry(sessionId, tableId, kind);
}

bool TORQDatabaseTableLockManager::HoldsLock(int32_t sessionId, int32_t tableId, int kind) const {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return FindEntry(sessionId, tableId, kind) != nullptr;
}

int TORQDatabaseTableLockManager::LockCount(int32_t sessionId, int32_t tableId, int kind) const {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  const Entry* e = FindEntry(sessionId, tableId, kind);
  return e ? e->Count : 0;
}

void TORQDatabaseTableLockManager::CheckNoLocks(int32_t sessionId, int error) const {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  auto it = sessions_.find(sessionId);
  if (it != sessions_.end() && !it->second.empty()) RaiseORQ(error, "Some table locks still exist");
}

void TORQDatabaseTableLockManager::CountLock(int32_t sessionId, int32_t tableId, int kind, int delta) {
  if (!pagesCache_) return;
  if (kind == lkRead) delta > 0 ? pagesCache_->AddReadLock(sessionId, tableId) : pagesCache_->RemoveReadLock(sessionId, tableId);
  if (kind == lkPost)
    delta > 0 ? pagesCache_->AddCommitLock(sessionId, tableId) : pagesCache_->RemoveCommitLock(sessionId, tableId);
}

// With the locks file held: does another slot hold a kind that forbids this one?
bool TORQDatabaseTableLockManager::ConflictInFile(int32_t sessionId, TORQTableLocksFile& file, int kind, bool allow) {
  auto& f = file.File();
  for (int held = 0; held <= 5; ++held) {
    if (TableLocksCompatible(held, kind)) continue;
    if (kind == lkTransEdit && held == lkEdit && allow) continue;
    for (int32_t s = 0; s < file.SlotCount(); ++s) {
      if (s == sessionId) continue;
      int32_t b = held == lkRecord ? file.RecordByte(s) : file.KindByte(held, s);
      if (!f.TestByte(b)) return true;
    }
  }
  return false;
}

bool TORQDatabaseTableLockManager::LockTable(int32_t sessionId, TORQTableLocksFile& file, int32_t tableId, int kind,
                                             bool allow, TORQLockAttempts attempts) {
  std::unique_lock<std::recursive_mutex> g(mutex_);
  auto& list = sessions_[sessionId];
  if (exclusiveDatabase_) {
    if (Entry* e = FindEntry(sessionId, tableId, kind)) e->Count++;
    else list.push_back({kind, tableId, 1, false, allow});
    CountLock(sessionId, tableId, kind, +1);
    return true;
  }
  if (Entry* e = FindEntry(sessionId, tableId, kind)) {
    if (kind == lkEdit) return false;
    e->Count++;
    CountLock(sessionId, tableId, kind, +1);
    return true;
  }
  for (const Entry& e : list)
    if (e.TableId == tableId && TableLockMakesRedundant(e.Kind, kind)) {
      list.push_back({kind, tableId, 1, false, allow});
      CountLock(sessionId, tableId, kind, +1);
      return true;
    }
  if (sessionId < 0 || sessionId >= file.SlotCount())
    RaiseORQ(20200, "Cannot set table lock. Try to repair database or to increase number of allowed connections");
  auto& f = file.File();
  for (int attempt = 0; attempt < attempts.Attempts; ++attempt) {
    if (f.LockFile(1, 0)) {
      if (!ConflictInFile(sessionId, file, kind, allow)) {
        if (kind != lkExclusive) {
          bool locked = f.LockByte(file.KindByte(kind, sessionId));
          f.UnlockFile();
          if (!locked) RaiseORQ(20203, "Cannot set table lock");
        }
        sessions_[sessionId].push_back({kind, tableId, 1, true, allow});
        CountLock(sessionId, tableId, kind, +1);
        return true;
      }
      f.UnlockFile();
    }
    if (attempt + 1 < attempts.Attempts) {
      g.unlock();
      unsigned b = attempts.BaseDelayMs;
      os::Sleep(b / 2 + os::Random(b / 2 + 1));
      g.lock();
    }
  }
  return false;
}

void TORQDatabaseTableLockManager::UnlockTable(int32_t sessionId, TORQTableLocksFile& file, int32_t tableId,
                                               int kind) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  Entry* e = FindEntry(sessionId, tableId, kind);
  if (!e) RaiseORQ(20202, "Cannot remove table lock. Lock not found");
  CountLock(sessionId, tableId, kind, -1);
  if (--e->Count > 0) return;
  const bool inFile = e->TakenInFile;
  auto& list = sessions_[sessionId];
  list.erase(list.begin() + (e - list.data()));
  if (!inFile) return;
  bool ok = kind == lkExclusive ? file.File().UnlockFile() : file.File().UnlockByte(file.KindByte(kind, sessionId));
  if (!ok) RaiseORQ(20204, "Cannot unlock table");
}

bool TORQDatabaseTableLockManager::LockRecord(int32_t sessionId, TORQTableLocksFile& file, int32_t tableId,
                                              TORQRecordId record, int attempts, unsigned delayMs) {
  std::unique_lock<std::recursive_mutex> g(mutex_);
  if (FindEntry(sessionId, tableId, lkRecord)) return false;  // one record per table and session
  const Entry* trans = FindEntry(sessionId, tableId, lkTransEdit);
  if (exclusiveDatabase_ || FindEntry(sessionId, tableId, lkExclusive) || (trans && !trans->Allow)) {
    sessions_[sessionId].push_back({lkRecord, tableId, 1, false, false});
    return true;
  }
  if (sessionId < 0 || sessionId >= file.SlotCount())
    RaiseORQ(20200, "Cannot set table lock. Try to repair database or to increase number of allowed connections");
  auto& f = file.File();
  const uint64_t deadline = os::TickCount() + static_cast<uint64_t>(attempts) * delayMs;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    bool granted = false;
    if (f.LockFile(1, 0)) {
      bool taken = false;
      for (int32_t s = 0; s < file.SlotCount() && !taken; ++s) {
        if (s == sessionId || f.TestByte(file.RecordByte(s))) continue;
        uint8_t id[6];
        f.ReadBytes(file.RecordIdOffset(s), id, 6);
        taken = le::GetI32(id) == record.PageNo && le::GetU16(id + 4) == record.Slot;
      }
      if (!taken) {
        if (!f.LockByte(file.RecordByte(sessionId))) {
          f.UnlockFile();
          RaiseORQ(20205, "Cannot lock record");
        }
        uint8_t id[6];
        le::PutI32(id, record.PageNo);
        le::PutU16(id + 4, record.Slot);
        f.WriteBytes(file.RecordIdOffset(sessionId), id, 6);
        granted = true;
      }
      f.UnlockFile();
    }
    if (granted) {
      sessions_[sessionId].push_back({lkRecord, tableId, 1, true, false});
      return true;
    }
    if (attempt + 1 >= attempts || os::TickCount() >= deadline) break;
    g.unlock();
    os::Sleep(delayMs);
    g.lock();
  }
  return false;
}

bool TORQDatabaseTableLockManager::UnlockRecord(int32_t sessionId, TORQTableLocksFile& file, int32_t tableId) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  Entry* e = FindEntry(sessionId, tableId, lkRecord);
  if (!e) return false;
  if (--e->Count > 0) return true;
  const bool inFile = e->TakenInFile;
  auto& list = sessions_[sessionId];
  list.erase(list.begin() + (e - list.data()));
  if (!inFile) return true;
  auto& f = file.File();
  if (!f.LockFile()) RaiseORQ(20206, "Cannot unlock record");
  bool ok = f.UnlockByte(file.RecordByte(sessionId));
  f.UnlockFile();
  if (!ok) RaiseORQ(20206, "Cannot unlock record");
  return true;
}

void TORQDatabaseTableLockManager::BeginCommit(int32_t sessionId,
                                               const std::map<int32_t, TORQTableLocksFile*>& tables) {
  std::vector<int32_t> edited;
  {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    for (const Entry& e : sessions_[sessionId])
      if (e.Kind == lkTransEdit) edited.push_back(e.TableId);
  }
  std::vector<int32_t> taken;
  for (int32_t tableId : edited) {
    auto it = tables.find(tableId);
    if (it == tables.end()) continue;
    if (LockTable(sessionId, *it->second, tableId, lkPost, true, kCommitAttempts)) {
      taken.push_back(tableId);
      continue;
    }
    bool left = false;
    for (int32_t t : taken) {
      try {
        UnlockTable(sessionId, *tables.at(t), t, lkPost);
      } catch (const EORQException&) {
        left = true;
      }
    }
    if (left) RaiseORQ(20234, "Some table locks still exist");
    RaiseORQ(20233, "Cannot commit changes. Locks of modified tables failed");
  }
}

void TORQDatabaseTableLockManager::EndCommit(int32_t sessionId, const std::map<int32_t, TORQTableLocksFile*>& tables) {
  std::vector<std::pair<int32_t, int>> release;
  std::vector<int32_t> needEdit;
  {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    for (const Entry& e : sessions_[sessionId]) {
      if (e.Kind == lkRecord && !FindEntry(sessionId, e.TableId, lkEdit)) needEdit.push_back(e.TableId);
      if (e.Kind == lkTransEdit || e.Kind == lkPost)
        for (int i = 0; i < e.Count; ++i) release.emplace_back(e.TableId, e.Kind);
    }
  }
  for (int32_t tableId : needEdit)
    if (auto it = tables.find(tableId); it != tables.end())
      LockTable(sessionId, *it->second, tableId, lkEdit, true, kCommitAttempts);
  for (auto [tableId, kind] : release)
    if (auto it = tables.find(tableId); it != tables.end()) UnlockTable(sessionId, *it->second, tableId, kind);
}

}  // namespace duz
