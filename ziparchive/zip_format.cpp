#include "ziparchive/zip_format.h"

#include <cstring>

#include "platform/text.h"

namespace duz::zipfmt {

std::optional<uint64_t> FindEndRecord(const uint8_t* tail, size_t tailSize, uint64_t fileSize) {
  if (tailSize < 4) return std::nullopt;
  const uint64_t tailStart = fileSize - tailSize;
  for (size_t i = tailSize - 4 + 1; i-- > 0;) {
    if (Get32(tail + i) != kEndRecordSig) continue;
    const uint64_t pos = tailStart + i;
    if (fileSize - pos < kEndRecordSize) continue;
    // The comment must end exactly at the end of the file: a signature met
    // inside a comment is rejected by its own length field.
    if (Get16(tail + i + 20) == fileSize - pos - kEndRecordSize) return pos;
  }
  return std::nullopt;
}

EndRecord ParseEndRecord(const uint8_t* p) {
  EndRecord r;
  r.DiskNumber = Get16(p + 4);
  r.DirectoryDisk = Get16(p + 6);
  r.EntriesOnDisk = Get16(p + 8);
  r.TotalEntries = Get16(p + 10);
  r.DirectorySize = Get32(p + 12);
  r.DirectoryOffset = Get32(p + 16);
  r.CommentLength = Get16(p + 20);
  return r;
}

Zip64EndRecord ParseZip64EndRecord(const uint8_t* p) {
  Zip64EndRecord r;
  r.DiskNumber = Get32(p + 16);
  r.DirectoryDisk = Get32(p + 20);
  r.EntriesOnDisk = Get64(p + 24);
  r.TotalEntries = Get64(p + 32);
  r.DirectorySize = Get64(p + 40);
  r.DirectoryOffset = Get64(p + 48);
  return r;
}

LocalHeader ParseLocalHeader(const uint8_t* p) {
  LocalHeader h;
  h.Signature = Get32(p);
  h.VersionNeeded = Get16(p + 4);
  h.Flags = Get16(p + 6);
  h.Method = Get16(p + 8);
  h.ModTime = Get16(p + 10);
  h.ModDate = Get16(p + 12);
  h.Crc32 = Get32(p + 14);
  h.CompressedSize = Get32(p + 18);
  h.UncompressedSize = Get32(p + 22);
  h.NameLength = Get16(p + 26);
  h.ExtraLength = Get16(p + 28);
  return h;
}

std::string ConvertEntryName(std::string raw, uint16_t flags, bool oemNames, size_t maxLength) {
  std::string name;
  if (flags & 0x0800)
    name = Utf8ToCp1252(raw);
  else if (oemNames)
    name = Oem850ToCp1252(raw);
  else
    name = std::move(raw);
  if (name.size() > maxLength) name.resize(maxLength);
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

size_t ParseCentralEntry(const uint8_t* p, size_t avail, bool oemNames, TZKDirItem& item) {
  if (avail < kCentralHeaderSize || Get32(p) != kCentralHeaderSig) return 0;
  item = TZKDirItem{};
  item.Signature = Get32(p);
  item.VersionMadeBy = Get16(p + 4);
  item.VersionNeeded = Get16(p + 6);
  item.Flags = Get16(p + 8);
  item.Method = Get16(p + 10);
  item.ModTime = Get16(p + 12);
  item.ModDate = Get16(p + 14);
  item.Crc32 = Get32(p + 16);
  item.CompressedSize = Get32(p + 20);
  item.UncompressedSize = Get32(p + 24);
  item.NameLength = Get16(p + 28);
  item.ExtraLength = Get16(p + 30);
  item.CommentLength = Get16(p + 32);
  item.DiskStart = Get16(p + 34);
  item.InternalAttr = Get16(p + 36);
  item.ExternalAttr = Get32(p + 38);
  item.LocalHeaderOffset = Get32(p + 42);
  const size_t total = kCentralHeaderSize + item.NameLength + item.ExtraLength + item.CommentLength;
  if (avail < total) return 0;
  const char* name = reinterpret_cast<const char*>(p + kCentralHeaderSize);
  std::string raw(name, item.NameLength);
  // Names in the component's own encrypted form (made by 0x4114 with the
  // encryption flag) cannot be decoded and stay as stored.
  if (item.VersionMadeBy == 0x4114 && (item.Flags & 1))
    item.Name = std::move(raw);
  else
    item.Name = ConvertEntryName(std::move(raw), item.Flags, oemNames, kMaxNameLength);
  item.Extra.assign(name + item.NameLength, item.ExtraLength);
  item.Comment.assign(name + item.NameLength + item.ExtraLength, item.CommentLength);
  item.UncompressedSize64 = item.UncompressedSize;
  item.CompressedSize64 = item.CompressedSize;
  item.LocalHeaderOffset64 = item.LocalHeaderOffset;
  item.DiskStart64 = item.DiskStart;
  ApplyZip64Block(item);
  return total;
}

void ApplyZip64Block(TZKDirItem& item) {
  const auto* extra = reinterpret_cast<const uint8_t*>(item.Extra.data());
  size_t pos = 0;
  const size_t size = item.Extra.size();
  while (size - pos >= 4) {
    const uint16_t id = Get16(extra + pos);
    size_t blockSize = Get16(extra + pos + 2);
    const size_t dataPos = pos + 4;
    if (blockSize > size - dataPos) blockSize = size - dataPos;  // cut to what remains
    if (id == 1) {
      const uint8_t* d = extra + dataPos;
      size_t left = blockSize;
      auto take64 = [&](uint64_t& field) {
        if (left < 8) return;
        field = Get64(d);
        d += 8;
        left -= 8;
      };
      if (item.UncompressedSize == 0xFFFFFFFFu) take64(item.UncompressedSize64);
      if (item.CompressedSize == 0xFFFFFFFFu) take64(item.CompressedSize64);
      if (item.LocalHeaderOffset == 0xFFFFFFFFu) take64(item.LocalHeaderOffset64);
      if (item.DiskStart == 0xFFFF && left >= 2) item.DiskStart64 = Get16(d);  // low 16 bits of the 4-byte field
      item.HasZip64 = true;
    }
    pos = dataPos + blockSize;
  }
}

}  // namespace duz::zipfmt
