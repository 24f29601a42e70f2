#include "sqlengine/storage/table_pages_cache_manager.h"

namespace duz {

void TORQDiskTablePagesCacheManager::ForgetIfUnlocked(TableState& t) {
  if (t.ReadLocks <= 0 && t.CommitLocks <= 0) {
    t.ReadLocks = t.CommitLocks = 0;
    t.Version = -1;
    t.VersionKnown = false;
  }
}

void TORQDiskTablePagesCacheManager::RemoveReadLock(int32_t sessionId, int32_t tableId) {
  TableState& t = Table(sessionId, tableId);
  if (t.ReadLocks > 0) t.ReadLocks--;
  ForgetIfUnlocked(t);
}

void TORQDiskTablePagesCacheManager::RemoveCommitLock(int32_t sessionId, int32_t tableId) {
  TableState& t = Table(sessionId, tableId);
  if (t.CommitLocks > 0) t.CommitLocks--;
  ForgetIfUnlocked(t);
}

void TORQDiskTablePagesCacheManager::SetTableVersion(int32_t sessionId, int32_t tableId, int32_t version) {
  TableState& t = Table(sessionId, tableId);
  if (t.ReadLocks + t.CommitLocks <= 0 || t.VersionKnown) return;
  t.Version = version;
  t.VersionKnown = true;
}

void TORQDiskTablePagesCacheManager::PopTable(int32_t sessionId) {
  auto it = sessions_.find(sessionId);
  if (it != sessions_.end() && !it->second.Stack.empty()) it->second.Stack.pop_back();
}

std::optional<int32_t> TORQDiskTablePagesCacheManager::CurrentVersion(int32_t sessionId) const {
  auto it = sessions_.find(sessionId);
  if (it == sessions_.end() || it->second.Stack.empty()) return std::nullopt;
  auto t = it->second.Tables.find(it->second.Stack.back());
  if (t == it->second.Tables.end()) return std::nullopt;
  const TableState& s = t->second;
  if (s.ReadLocks + s.CommitLocks <= 0 || !s.VersionKnown) return std::nullopt;
  return s.Version;
}

}  // namespace duz
