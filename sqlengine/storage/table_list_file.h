// The list of the database's tables: 272-byte entries of name (length byte
// and 255 characters), table id and the start pages of the table's
// metadata, most-updated and locks files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sqlengine/storage/internal_file.h"

namespace duz {

constexpr size_t kTableListEntrySize = 272;

struct TORQTableListEntry {
  std::string Name;
  int32_t TableId = -1;
  int32_t MetadataStart = -1;
  int32_t MostUpdatedStart = -1;
  int32_t LocksStart = -1;
};

class TORQTableListFile {
 public:
  explicit TORQTableListFile(TORQPageManager& pages);

  int32_t Create(int32_t sessionId);
  void Open(int32_t startPageNo) { file_.Open(startPageNo); }
  void Close();
  int32_t StartPageNo() const { return file_.StartPageNo(); }
  void Load(int32_t sessionId);
  void Save(int32_t sessionId);

  const std::vector<TORQTableListEntry>& Entries() const { return entries_; }
  // Names compare without regard to case; the first match wins.
  std::optional<TORQTableListEntry> Find(const std::string& name) const;
  // The errors of the table list (30395, 30396, 30397, 30405).
  const TORQTableListEntry& Lookup(const std::string& name) const;
  void Add(const TORQTableListEntry& entry);
  void Rename(const std::string& oldName, const std::string& newName);
  void Remove(const std::string& name);

 private:
  int IndexOf(const std::string& name) const;

  TORQInternalDBTransactedAccessFile file_;
  std::vector<TORQTableListEntry> entries_;
};

// Upper case of Windows-1252 text as the engine compares names.
std::string UpperName(const std::string& name);

}  // namespace duz
