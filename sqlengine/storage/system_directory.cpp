#include "sqlengine/storage/system_directory.h"

#include "sqlengine/storage/byte_order.h"
#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_types.h"

namespace duz {

TORQSystemDirectory::TORQSystemDirectory(TORQPageManager& pages) : file_(pages, ptFileSystemDirectory) {}

void TORQSystemDirectory::Create(int32_t sessionId) {
  int32_t page = file_.Create(sessionId);
  if (page != kSystemDirectoryPageNo)
    RaiseORQFmt(30392, "Error Creating SystemDirectory. SystemDirectoryPageNo=%d. Real PageNo=%d.",
                kSystemDirectoryPageNo, page);
  entries_.clear();
}

void TORQSystemDirectory::Open(int32_t sessionId) {
  file_.Close();
  file_.Open(kSystemDirectoryPageNo);
  std::string bytes = file_.Read(sessionId);
  entries_.clear();
  for (size_t i = 0; i + 5 <= bytes.size(); i += 5)
    entries_.emplace_back(static_cast<uint8_t>(bytes[i]), le::GetI32(reinterpret_cast<const uint8_t*>(&bytes[i + 1])));
}

void TORQSystemDirectory::Close() {
  file_.Close();
  entries_.clear();
}

void TORQSystemDirectory::Write(int32_t sessionId) {
  std::string bytes(entries_.size() * 5, '\0');
  for (size_t i = 0; i < entries_.size(); ++i) {
    bytes[i * 5] = static_cast<char>(entries_[i].first);
    le::PutI32(reinterpret_cast<uint8_t*>(&bytes[i * 5 + 1]), entries_[i].second);
  }
  file_.Write(sessionId, bytes);
}

int32_t TORQSystemDirectory::Find(uint8_t kind) const {
  for (const auto& e : entries_)
    if (e.first == kind) return e.second;
  return -1;
}

}  // namespace duz
