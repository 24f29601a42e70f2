// The database's root: a transacted file on page 2 listing the start pages
// of the database-wide internal files as 5-byte entries (u8 kind, i32 page).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "sqlengine/storage/internal_file.h"

namespace duz {

constexpr int32_t kSystemDirectoryPageNo = 2;
constexpr uint8_t kDirTableList = 1;
constexpr uint8_t kDirActiveSessions = 2;

class TORQSystemDirectory {
 public:
  explicit TORQSystemDirectory(TORQPageManager& pages);

  void Create(int32_t sessionId);  // its first page must be page 2
  void Open(int32_t sessionId);    // reads the entries
  void Close();
  void AddEntry(uint8_t kind, int32_t startPageNo) { entries_.emplace_back(kind, startPageNo); }
  void Write(int32_t sessionId);
  // -1 when the kind is not listed.
  int32_t Find(uint8_t kind) const;
  const std::vector<std::pair<uint8_t, int32_t>>& Entries() const { return entries_; }

 private:
  TORQInternalDBTransactedAccessFile file_;
  std::vector<std::pair<uint8_t, int32_t>> entries_;
};

}  // namespace duz
