#include "sqlengine/storage/disk_database_data.h"

#include "platform/path.h"
#include "sqlengine/storage/buffer_compression.h"
#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_types.h"

namespace duz {

namespace {
constexpr int kTablesLockAttempts = 200;
constexpr unsigned kTablesLockDelay = 20;

TORQInternalDBTransactedAccessFile MetadataFile(TORQPageManager& pages) {
  return TORQInternalDBTransactedAccessFile(pages, ptTableMetaData, kCompressionZlib, 1);
}
TORQInternalDBTransactedAccessFile MostUpdatedFile(TORQPageManager& pages) {
  return TORQInternalDBTransactedAccessFile(pages, ptTableMostUpdated);
}
}  // namespace

TORQDiskDatabaseData::TORQDiskDatabaseData() : directory_(pages_), sessions_(pages_), tableList_(pages_) {}

TORQDiskDatabaseData::~TORQDiskDatabaseData() {
  try {
    CloseDatabase();
  } catch (...) {
  }
}

std::shared_ptr<TORQDiskDatabaseData> TORQDiskDatabaseData::ForFile(const std::string& fileName) {
  static std::mutex registryMutex;
  static std::map<std::string, std::weak_ptr<TORQDiskDatabaseData>> registry;
  std::lock_guard<std::mutex> g(registryMutex);
  const std::string key = UpperName(os::ResolvePath(fileName));
  if (auto existing = registry[key].lock()) return existing;
  auto created = std::make_shared<TORQDiskDatabaseData>();
  registry[key] = created;
  return created;
}

void TORQDiskDatabaseData::CreateDatabase(const std::string& fileName, const TORQDatabaseCreateParams& params) {
  if (pages_.IsOpen()) RaiseORQFmt(10461, "Error - database file %s is in use.", pages_.FileName().c_str());
  if (params.MaxConnections <= 0) RaiseORQ(20237, "Invalid database format");
  pages_.CreateDatabase(fileName, {params.Password, params.PageSize, params.PagesPerExtent});
  try {
    directory_.Create(kSystemSessionId);
    int32_t sessionsStart = sessions_.Create(kSystemSessionId, params.MaxConnections);
    int32_t listStart = tableList_.Create(kSystemSessionId);
    directory_.AddEntry(kDirActiveSessions, sessionsStart);
    directory_.AddEntry(kDirTableList, listStart);
    directory_.Write(kSystemSessionId);
    pages_.CommitSession(kSystemSessionId);
  } catch (...) {
    try {
      pages_.RollbackSession(kSystemSessionId);
    } catch (...) {
    }
    directory_.Close();
    sessions_.Close();
    tableList_.Close();
    pages_.CloseDatabase();
    throw;
  }
  directory_.Close();
  sessions_.Close();
  tableList_.Close();
  pages_.CloseDatabase();
}

void TORQDiskDatabaseData::OpenDatabase(const std::string& fileName, const TORQPassword& password, bool readOnly,
                                        bool exclusive, bool multiUser) {
  if (pages_.IsOpen()) RaiseORQFmt(10462, "Error - database file %s is in use.", pages_.FileName().c_str());
  auto openStructures = [&](bool ro) {
    pages_.OpenDatabase(fileName, password, ro, exclusive && !ro, multiUser);
    directory_.Open(kSystemSessionId);
    const int32_t sessionsStart = directory_.Find(kDirActiveSessions);
    const int32_t listStart = directory_.Find(kDirTableList);
    if (sessionsStart < 0 || listStart < 0) RaiseORQ(20237, "Invalid database format");
    sessions_.Open(sessionsStart);
    tableList_.Open(listStart);
    tableList_.Load(kSystemSessionId);
  };
  auto closeStructures = [&] {
    tableList_.Close();
    sessions_.Close();
    directory_.Close();
    pages_.CloseDatabase();
  };
  try {
    openStructures(readOnly);
    if (!pages_.MultiUser()) {
      // Single user: every slot, or read-only when someone is connected.
      singleUserSlots_ = sessions_.LockAllSlots();
      if (!singleUserSlots_ && !pages_.ReadOnly()) {
        closeStructures();
        openStructures(true);
      }
    }
    locks_ = std::make_unique<TORQDatabaseTableLockManager>(pages_.Exclusive(), &pages_.TablePagesCache());
  } catch (...) {
    try {
      closeStructures();
    } catch (...) {
    }
    singleUserSlots_ = false;
    throw;
  }
}

void TORQDiskDatabaseData::CloseDatabase() {
  if (!pages_.IsOpen()) return;
  for (auto& [id, t] : tables_)
    if (t.Locks) t.Locks->Close();
  tables_.clear();
  if (singleUserSlots_) {
    singleUserSlots_ = false;
    sessions_.UnlockAllSlots();
  }
  tableList_.Close();
  sessions_.Close();
  directory_.Close();
  locks_.reset();
  pages_.CloseDatabase();
  sessionMode_.reset();
  connectedSessions_ = 0;
  tablesLockCount_ = 0;
}

int32_t TORQDiskDatabaseData::ConnectSession(bool multiUser) {
  if (sessionMode_ && *sessionMode_ != multiUser)
    RaiseORQ(20235, "Cannot open database in multi-user and signle-user mode at the same time");
  int32_t id = multiUser && pages_.MultiUser() ? sessions_.Connect() : 0;
  sessionMode_ = multiUser;
  ++connectedSessions_;
  return id;
}

void TORQDiskDatabaseData::DisconnectSession(int32_t sessionId) {
  if (locks_) locks_->CheckNoLocks(sessionId);
  if (sessionMode_ && *sessionMode_ && pages_.MultiUser()) sessions_.Disconnect(sessionId);
  if (--connectedSessions_ <= 0) {
    connectedSessions_ = 0;
    sessionMode_.reset();
  }
}

void TORQDiskDatabaseData::ReloadTableList() {
  if (pages_.MultiUser()) tableList_.Load(kSystemSessionId);
}

std::vector<std::string> TORQDiskDatabaseData::TableNames() {
  ReloadTableList();
  std::vector<std::string> names;
  for (const auto& e : tableList_.Entries()) names.push_back(e.Name);
  return names;
}

TORQTableListEntry TORQDiskDatabaseData::FindTable(const std::string& name) {
  ReloadTableList();
  return tableList_.Lookup(name);
}

void TORQDiskDatabaseData::SaveTableListAndCommit() {
  tableList_.Save(kSystemSessionId);
  pages_.CommitSession(kSystemSessionId);
}

void TORQDiskDatabaseData::AddTableEntry(const TORQTableListEntry& entry) {
  ReloadTableList();
  tableList_.Add(entry);
  SaveTableListAndCommit();
}

void TORQDiskDatabaseData::RenameTable(const std::string& oldName, const std::string& newName) {
  UnderTablesLock([&] {
    ReloadTableList();
    tableList_.Rename(oldName, newName);
    SaveTableListAndCommit();
  });
}

void TORQDiskDatabaseData::UnderTablesLock(const std::function<void()>& change) {
  LockTables();
  try {
    change();
  } catch (...) {
    try {
      pages_.RollbackSession(kSystemSessionId);
      tableList_.Load(kSystemSessionId);
    } catch (...) {
    }
    UnlockTables();
    throw;
  }
  UnlockTables();
}

void TORQDiskDatabaseData::RemoveTableEntry(const std::string& name) {
  ReloadTableList();
  tableList_.Remove(name);
  SaveTableListAndCommit();
}

void TORQDiskDatabaseData::LockTables() {
  if (tablesLockCount_ > 0) {
    ++tablesLockCount_;
    return;
  }
  if (!pages_.LockArea(kTablesLockByte, kTablesLockAttempts, kTablesLockDelay))
    RaiseORQ(20210, "Database tables are locked");
  tablesLockCount_ = 1;
}

void TORQDiskDatabaseData::UnlockTables() {
  if (tablesLockCount_ <= 0) return;
  if (--tablesLockCount_ == 0 && !pages_.UnlockArea(kTablesLockByte)) RaiseORQ(20211, "Cannot unlock database tables");
}

int32_t TORQDiskDatabaseData::CreateTable(const std::string& name, const std::string& metadata,
                                          const std::string& mostUpdated) {
  int32_t id = -1;
  UnderTablesLock([&] {
    ReloadTableList();
    if (tableList_.Find(name)) RaiseORQFmt(30395, "Cannot create table. Table '%s' already exists", name.c_str());
    id = NewObjectId();
    TORQTableListEntry entry;
    entry.Name = name;
    entry.TableId = id;
    TORQTableLocksFile locks(pages_, sessions_.SlotCount());
    entry.LocksStart = locks.Create(kSystemSessionId);
    auto meta = MetadataFile(pages_);
    entry.MetadataStart = meta.Create(kSystemSessionId);
    auto most = MostUpdatedFile(pages_);
    entry.MostUpdatedStart = most.Create(kSystemSessionId);
    most.Write(kSystemSessionId, mostUpdated);
    meta.Write(kSystemSessionId, metadata);
    tableList_.Add(entry);
    SaveTableListAndCommit();
  });
  return id;
}

void TORQDiskDatabaseData::DropTable(const std::string& name) {
  UnderTablesLock([&] {
    ReloadTableList();
    auto entry = tableList_.Find(name);
    if (!entry) RaiseORQFmt(30405, "Table '%s' not exists.", name.c_str());
    auto meta = MetadataFile(pages_);
    meta.Open(entry->MetadataStart);
    meta.FreeAll(kSystemSessionId);
    auto most = MostUpdatedFile(pages_);
    most.Open(entry->MostUpdatedStart);
    most.FreeAll(kSystemSessionId);
    TORQTableLocksFile locks(pages_, sessions_.SlotCount());
    locks.Open(entry->LocksStart);
    for (int32_t p : locks.File().Pages()) pages_.FreePage(kSystemSessionId, p);
    tableList_.Remove(name);
    SaveTableListAndCommit();
    tables_.erase(entry->TableId);
  });
}

TORQDiskTableFiles& TORQDiskDatabaseData::OpenTable(int32_t sessionId, const std::string& name, bool exclusive) {
  LockTables();
  try {
    ReloadTableList();
    const TORQTableListEntry entry = tableList_.Lookup(name);
    auto it = tables_.find(entry.TableId);
    if (it == tables_.end()) {
      TORQDiskTableFiles files;
      files.Entry = entry;
      files.Locks = std::make_unique<TORQTableLocksFile>(pages_, sessions_.SlotCount());
      files.Locks->Open(entry.LocksStart);
      it = tables_.emplace(entry.TableId, std::move(files)).first;
    }
    TORQDiskTableFiles& t = it->second;
    if (exclusive && t.OpenCursors > 0 && !t.OpenExclusive)
      RaiseORQFmt(20242, "Cannot access table '%s' in exclusive mode. Table is open by another cursors", name.c_str());
    if (!locks_->LockTable(sessionId, *t.Locks, entry.TableId, exclusive ? lkExclusive : lkOpen, true,
                           kOpenTableAttempts)) {
      if (t.OpenCursors == 0) tables_.erase(it);
      if (exclusive)
        RaiseORQFmt(20208, "Cannot access table '%s' in exclusive mode. Table is open by another user", name.c_str());
      RaiseORQFmt(20209, "Cannot open table '%s'. Table is locked", name.c_str());
    }
    t.OpenCursors++;
    t.OpenExclusive = t.OpenExclusive || exclusive;
    UnlockTables();
    return t;
  } catch (...) {
    UnlockTables();
    throw;
  }
}

void TORQDiskDatabaseData::CloseTable(int32_t sessionId, int32_t tableId) {
  auto it = tables_.find(tableId);
  if (it == tables_.end()) return;
  TORQDiskTableFiles& t = it->second;
  int kind = locks_->HoldsLock(sessionId, tableId, lkOpen) ? lkOpen : lkExclusive;
  locks_->UnlockTable(sessionId, *t.Locks, tableId, kind);
  if (--t.OpenCursors <= 0) {
    t.Locks->Close();
    tables_.erase(it);
  } else if (kind == lkExclusive) {
    t.OpenExclusive = false;
  }
}

TORQDiskTableFiles* TORQDiskDatabaseData::OpenedTable(int32_t tableId) {
  auto it = tables_.find(tableId);
  return it == tables_.end() ? nullptr : &it->second;
}

std::string TORQDiskDatabaseData::ReadTableMetadata(int32_t sessionId, const TORQTableListEntry& entry) {
  auto f = MetadataFile(pages_);
  f.Open(entry.MetadataStart);
  return f.Read(sessionId);
}

std::string TORQDiskDatabaseData::ReadTableMostUpdated(int32_t sessionId, const TORQTableListEntry& entry) {
  auto f = MostUpdatedFile(pages_);
  f.Open(entry.MostUpdatedStart);
  return f.Read(sessionId);
}

void TORQDiskDatabaseData::WriteTableMostUpdated(int32_t sessionId, const TORQTableListEntry& entry,
                                                 const std::string& content) {
  auto f = MostUpdatedFile(pages_);
  f.Open(entry.MostUpdatedStart);
  f.Write(sessionId, content);
}

std::map<int32_t, TORQTableLocksFile*> TORQDiskDatabaseData::LockFiles() {
  std::map<int32_t, TORQTableLocksFile*> out;
  for (auto& [id, t] : tables_) out[id] = t.Locks.get();
  return out;
}

void TORQDiskDatabaseData::CommitSession(int32_t sessionId) {
  const bool multi = pages_.MultiUser() && sessionId >= 0;
  auto files = LockFiles();
  if (multi) locks_->BeginCommit(sessionId, files);
  pages_.CommitSession(sessionId);
  if (multi) locks_->EndCommit(sessionId, files);
}

void TORQDiskDatabaseData::RollbackSession(int32_t sessionId) { pages_.RollbackSession(sessionId); }

}  // namespace duz
