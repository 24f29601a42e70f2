// What each session knows about the tables it works on in multi-user mode:
// while it holds read or commit locks on a table, the table version it read
// under them tells whether cached pages can be used without checking the file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace duz {

class TORQDiskTablePagesCacheManager {
 public:
  void AddReadLock(int32_t sessionId, int32_t tableId) { Table(sessionId, tableId).ReadLocks++; }
  void RemoveReadLock(int32_t sessionId, int32_t tableId);
  void AddCommitLock(int32_t sessionId, int32_t tableId) { Table(sessionId, tableId).CommitLocks++; }
  void RemoveCommitLock(int32_t sessionId, int32_t tableId);
  // Recorded only the first time while the table's lock counts are above 0.
  void SetTableVersion(int32_t sessionId, int32_t tableId, int32_t version);

  void PushTable(int32_t sessionId, int32_t tableId) { sessions_[sessionId].Stack.push_back(tableId); }
  void PopTable(int32_t sessionId);
  // The version of the table on top of the session's stack, when it is known
  // and the session holds a lock on that table.
  std::optional<int32_t> CurrentVersion(int32_t sessionId) const;

 private:
  struct TableState {
    int ReadLocks = 0;
    int CommitLocks = 0;
    int32_t Version = -1;
    bool VersionKnown = false;
  };
  struct SessionState {
    std::map<int32_t, TableState> Tables;
    std::vector<int32_t> Stack;
  };
  TableState& Table(int32_t sessionId, int32_t tableId) { return sessions_[sessionId].Tables[tableId]; }
  void ForgetIfUnlocked(TableState& t);

  std::map<int32_t, SessionState> sessions_;
};

}  // namespace duz
