// Table and record locks between sessions and processes. Each table has a
// locks file of 12*N bytes for N connection slots: bytes k*N + s for lock
// kinds 0..4 of slot s, 5*N + s the slot's record-lock byte, 6*N + 6*s the
// record id it locked. Kind 6 (exclusive use) is the lock of the locks file
// itself. Each session keeps a list of what it holds.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "sqlengine/storage/internal_file.h"
#include "sqlengine/storage/record_id.h"

namespace duz {

class TORQDiskTablePagesCacheManager;

enum TORQTableLockKind : int {
  lkOpen = 0,        // every cursor that opens the table
  lkRead = 1,        // while records are read
  lkEdit = 2,        // edit outside a transaction
  lkTransEdit = 3,   // edit or post inside a transaction
  lkPost = 4,        // post outside a transaction, and commit
  lkRecord = 5,      // record lock
  lkExclusive = 6,   // exclusive use of the table
};

// Whether kind `requested` may be granted while another session holds `held`.
bool TableLocksCompatible(int held, int requested);
// Whether holding `held` makes a request for `requested` redundant.
bool TableLockMakesRedundant(int held, int requested);

class TORQTableLocksFile {
 public:
  TORQTableLocksFile(TORQDiskPageManager& pages, int32_t slotCount);
  int32_t Create(int32_t sessionId) { return file_.Create(sessionId, 12 * slots_); }
  void Open(int32_t startPageNo) { file_.Open(startPageNo); }
  void Close() { file_.Close(); }
  int32_t SlotCount() const { return slots_; }
  TORQInternalDBDirectAccessFile& File() { return file_; }

  int32_t KindByte(int kind, int32_t slot) const { return kind * slots_ + slot; }
  int32_t RecordByte(int32_t slot) const { return 5 * slots_ + slot; }
  int32_t RecordIdOffset(int32_t slot) const { return 6 * slots_ + 6 * slot; }

 private:
  TORQInternalDBDirectAccessFile file_;
  int32_t slots_;
};

struct TORQLockAttempts {
  int Attempts;
  unsigned BaseDelayMs;
};
constexpr TORQLockAttempts kOpenTableAttempts{50, 100};
constexpr TORQLockAttempts kReadAttempts{2250, 40};
constexpr TORQLockAttempts kEditAttempts{900, 100};
constexpr TORQLockAttempts kCommitAttempts{900, 100};

class TORQDatabaseTableLockManager {
 public:
  explicit TORQDatabaseTableLockManager(bool exclusiveDatabase, TORQDiskTablePagesCacheManager* pagesCache = nullptr);

  // False when another session holds a conflicting kind after every attempt.
  bool LockTable(int32_t sessionId, TORQTableLocksFile& file, int32_t tableId, int kind, bool allow,
                 TORQLockAttempts attempts);
  void UnlockTable(int32_t sessionId, TORQTableLocksFile& file, int32_t tableId, int kind);
  bool HoldsLock(int32_t sessionId, int32_t tableId, int kind) const;
  int LockCount(int32_t sessionId, int32_t tableId, int kind) const;
  // "Some table locks still exist" when the session ends holding locks.
  void CheckNoLocks(int32_t sessionId, int error = 20201) const;

  bool LockRecord(int32_t sessionId, TORQTableLocksFile& file, int32_t tableId, TORQRecordId record, int attempts,
                  unsigned delayMs);
  bool UnlockRecord(int32_t sessionId, TORQTableLocksFile& file, int32_t tableId);

  // Multi-user commit: kind 4 on every table the session edits in its
  // transaction (kind 3), before its pages are written...
  void BeginCommit(int32_t sessionId, const std::map<int32_t, TORQTableLocksFile*>& tables);
  // ...then kind 2 where it still holds a record lock, and kinds 3 and 4 go.
  void EndCommit(int32_t sessionId, const std::map<int32_t, TORQTableLocksFile*>& tables);

 private:
  struct Entry {
    int Kind;
    int32_t TableId;
    int Count;
    bool TakenInFile;
    bool Allow;
  };
  Entry* FindEntry(int32_t sessionId, int32_t tableId, int kind);
  const Entry* FindEntry(int32_t sessionId, int32_t tableId, int kind) const;
  bool ConflictInFile(int32_t sessionId, TORQTableLocksFile& file, int kind, bool allow);
  void CountLock(int32_t sessionId, int32_t tableId, int kind, int delta);

  bool exclusiveDatabase_;
  TORQDiskTablePagesCacheManager* pagesCache_;
  mutable std::recursive_mutex mutex_;
  std::map<int32_t, std::vector<Entry>> sessions_;
};

}  // namespace duz
