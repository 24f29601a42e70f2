#include "sqlengine/storage/table_list_file.h"

#include <cstring>

#include "sqlengine/storage/byte_order.h"
#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_types.h"

namespace duz {

std::string UpperName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    // ASCII and the Latin-1 letters of Windows-1252 (except the division sign).
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) c = static_cast<char>(u - 32);
    else if (u == 0x9A || u == 0x9C || u == 0x9E) c = static_cast<char>(u - 16);  // š œ ž
    else if (u == 0xFF) c = static_cast<char>(0x9F);                              // ÿ
  }
  return out;
}

TORQTableListFile::TORQTableListFile(TORQPageManager& pages) : file_(pages, ptTableList) {}

int32_t TORQTableListFile::Create(int32_t sessionId) {
  entries_.clear();
  return file_.Create(sessionId);
}

void TORQTableListFile::Close() {
  file_.Close();
  entries_.clear();
}

void TORQTableListFile::Load(int32_t sessionId) {
  std::string bytes = file_.Read(sessionId);
  entries_.clear();
  for (size_t at = 0; at + kTableListEntrySize <= bytes.size(); at += kTableListEntrySize) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    TORQTableListEntry e;
    e.Name.assign(reinterpret_cast<const char*>(p + 1), p[0]);
    e.TableId = le::GetI32(p + 256);
    e.MetadataStart = le::GetI32(p + 260);
    e.MostUpdatedStart = le::GetI32(p + 264);
    e.LocksStart = le::GetI32(p + 268);
    entries_.push_back(std::move(e));
  }
}

void TORQTableListFile::Save(int32_t sessionId) {
  std::string bytes(entries_.size() * kTableListEntrySize, '\0');
  for (size_t i = 0; i < entries_.size(); ++i) {
    auto* p = reinterpret_cast<uint8_t*>(bytes.data() + i * kTableListEntrySize);
    const auto& e = entries_[i];
    size_t n = std::min<size_t>(e.Name.size(), 255);
    p[0] = static_cast<uint8_t>(n);
    std::memcpy(p + 1, e.Name.data(), n);
    le::PutI32(p + 256, e.TableId);
    le::PutI32(p + 260, e.MetadataStart);
    le::PutI32(p + 264, e.MostUpdatedStart);
    le::PutI32(p + 268, e.LocksStart);
  }
  file_.Write(sessionId, bytes);
}

int TORQTableListFile::IndexOf(const std::string& name) const {
  const std::string wanted = UpperName(name);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (UpperName(entries_[i].Name) == wanted) return static_cast<int>(i);
  return -1;
}

std::optional<TORQTableListEntry> TORQTableListFile::Find(const std::string& name) const {
  int i = IndexOf(name);
  if (i < 0) return std::nullopt;
  return entries_[static_cast<size_t>(i)];
}

const TORQTableListEntry& TORQTableListFile::Lookup(const std::string& name) const {
  int i = IndexOf(name);
  if (i < 0) RaiseORQFmt(30396, "Table '%s' not exists.", name.c_str());
  return entries_[static_cast<size_t>(i)];
}

void TORQTableListFile::Add(const TORQTableListEntry& entry) {
  if (IndexOf(entry.Name) >= 0)
    RaiseORQFmt(30395, "Cannot create table. Table '%s' already exists", entry.Name.c_str());
  entries_.push_back(entry);
}

void TORQTableListFile::Rename(const std::string& oldName, const std::string& newName) {
  int i = IndexOf(oldName);
  if (i < 0) RaiseORQFmt(30397, "Table '%s' not exists.", oldName.c_str());
  int other = IndexOf(newName);
  if (other >= 0 && other != i)
    RaiseORQFmt(30395, "Cannot create table. Table '%s' already exists", newName.c_str());
  entries_[static_cast<size_t>(i)].Name = newName;
}

void TORQTableListFile::Remove(const std::string& name) {
  int i = IndexOf(name);
  if (i < 0) RaiseORQFmt(30405, "Table '%s' not exists.", name.c_str());
  entries_.erase(entries_.begin() + i);
}

}  // namespace duz
