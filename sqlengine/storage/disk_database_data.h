// One open database file in this process, shared by all its sessions: the
// page manager, the system directory, connection slots, the table list and
// the locks between sessions and processes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sqlengine/storage/active_sessions_file.h"
#include "sqlengine/storage/disk_page_manager.h"
#include "sqlengine/storage/system_directory.h"
#include "sqlengine/storage/table_list_file.h"
#include "sqlengine/storage/table_lock_manager.h"

namespace duz {

struct TORQDatabaseCreateParams {
  TORQPassword Password;
  uint16_t PageSize = 4096;
  uint16_t PagesPerExtent = 8;
  int32_t MaxConnections = 500;
};

// The internal files of one table opened by this process.
struct TORQDiskTableFiles {
  TORQTableListEntry Entry;
  std::unique_ptr<TORQTableLocksFile> Locks;
  int OpenCursors = 0;
  bool OpenExclusive = false;
};

class TORQDiskDatabaseData {
 public:
  TORQDiskDatabaseData();
  ~TORQDiskDatabaseData();

  // The object of this process for a file (created on first use).
  static std::shared_ptr<TORQDiskDatabaseData> ForFile(const std::string& fileName);

  // Writes a new database file (and leaves it closed).
  void CreateDatabase(const std::string& fileName, const TORQDatabaseCreateParams& params);
  void OpenDatabase(const std::string& fileName, const TORQPassword& password, bool readOnly, bool exclusive,
                    bool multiUser);
  void CloseDatabase();
  bool IsOpen() const { return pages_.IsOpen(); }

  // Multi-user: a connection slot; single-user: session 0.
  int32_t ConnectSession(bool multiUser);
  void DisconnectSession(int32_t sessionId);

  TORQDiskPageManager& Pages() { return pages_; }
  TORQDatabaseTableLockManager& Locks() { return *locks_; }
  TORQActiveSessionsFile& Sessions() { return sessions_; }
  bool ReadOnly() const { return pages_.ReadOnly(); }
  bool NeedsRepair() const { return pages_.NeedsRepair(); }
  int32_t MaxConnections() const { return sessions_.SlotCount(); }
  std::mutex& Mutex() { return mutex_; }

  std::vector<std::string> TableNames();
  TORQTableListEntry FindTable(const std::string& name);
  void AddTableEntry(const TORQTableListEntry& entry);
  void RenameTable(const std::string& oldName, const std::string& newName);
  void RemoveTableEntry(const std::string& name);

  // Byte 359: held while tables are created, altered or dropped.
  void LockTables();
  void UnlockTables();
  // Runs a structural change under the tables lock; on failure the system
  // session is rolled back and the table list reloaded before rethrowing.
  void UnderTablesLock(const std::function<void()>& change);
  int32_t NewObjectId() { return pages_.NewObjectId(); }
  void Flush() { pages_.FlushFile(); }

  // Creates a table's three internal files with the given metadata and
  // most-updated content and lists it; returns its id.
  int32_t CreateTable(const std::string& name, const std::string& metadata, const std::string& mostUpdated);
  // Frees the table's internal files and removes it from the list (the
  // record, BLOB and index pages belong to the layers above).
  void DropTable(const std::string& name);
  // The first cursor of the process opens the files; every cursor takes
  // kind 0, or kind 6 for exclusive use.
  TORQDiskTableFiles& OpenTable(int32_t sessionId, const std::string& name, bool exclusive);
  void CloseTable(int32_t sessionId, int32_t tableId);
  TORQDiskTableFiles* OpenedTable(int32_t tableId);
  std::string ReadTableMetadata(int32_t sessionId, const TORQTableListEntry& entry);
  std::string ReadTableMostUpdated(int32_t sessionId, const TORQTableListEntry& entry);
  void WriteTableMostUpdated(int32_t sessionId, const TORQTableListEntry& entry, const std::string& content);

  // Commit and rollback of a session's pages, with the multi-user commit locks.
  void CommitSession(int32_t sessionId);
  void RollbackSession(int32_t sessionId);

 private:
  void ReloadTableList();
  void SaveTableListAndCommit();
  std::map<int32_t, TORQTableLocksFile*> LockFiles();

  std::mutex mutex_;
  TORQDiskPageManager pages_;
  TORQSystemDirectory directory_;
  TORQActiveSessionsFile sessions_;
  TORQTableListFile tableList_;
  std::unique_ptr<TORQDatabaseTableLockManager> locks_;
  std::map<int32_t, TORQDiskTableFiles> tables_;
  std::optional<bool> sessionMode_;  // multi-user flag of the first session
  int connectedSessions_ = 0;
  bool singleUserSlots_ = false;
  int tablesLockCount_ = 0;
};

}  // namespace duz
