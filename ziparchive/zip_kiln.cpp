#include "ziparchive/zip_kiln.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "crypto/crc32.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/system.h"
#include "ziparchive/zip_crypt.h"
#include "ziparchive/zip_format.h"
#include "ziparchive/zk_messages.h"

namespace duz {

using namespace zipfmt;

namespace {

constexpr size_t kMaxChunk = 1u << 20;
constexpr size_t kMinChunk = 512;
constexpr size_t kOutputBuffer = 256u << 10;
// Deflate cannot expand beyond about 1032:1; a larger declared ratio says
// nothing about the output of one chunk.
constexpr double kMaxDeflateRatio = 1032.0;

// Calls found(pos) for every occurrence of the 4-byte signature in
// [from, to) of the file, in order; found returns false to stop.
void ScanForSignature(const os::File& file, uint64_t from, uint64_t to, uint32_t signature,
                      const std::function<bool(uint64_t)>& found) {
  constexpr size_t kBlock = 1u << 16;
  std::vector<uint8_t> buffer(kBlock + 3);
  uint64_t pos = from;
  while (pos + 4 <= to) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock + 3, to - pos));
    const size_t got = file.ReadAt(pos, buffer.data(), want);
    if (got < 4) return;
    for (size_t i = 0; i + 4 <= got; ++i) {
      if (buffer[i] == 'P' && Get32(buffer.data() + i) == signature) {
        if (!found(pos + i)) return;
      }
    }
    if (got < want) return;
    pos += got - 3;
  }
}

}  // namespace

size_t ZKChunkSize(uint64_t remaining, double expansionRatio, uint64_t availableMemory) {
  size_t chunk = static_cast<size_t>(std::min<uint64_t>(kMaxChunk, remaining));
  if (availableMemory == 0) return chunk;
  const double ratio = std::clamp(expansionRatio, 1.0, kMaxDeflateRatio);
  while (chunk >= kMinChunk && ratio * static_cast<double>(chunk) * 20.0 >= static_cast<double>(availableMemory))
    chunk /= 2;
  return std::max<size_t>(chunk, 1);
}

TZipKiln::~TZipKiln() { Close(); }

void TZipKiln::WriteEmptyArchive() {
  uint8_t end[kEndRecordSize] = {'P', 'K', 5, 6};
  file_.WriteAt(0, end, sizeof end);
}

void TZipKiln::LoadDirectory() {
  displacement_ = 0;
  recovered_ = false;
  fileSize_ = file_.Size();
  const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize_, kEndSearchWindow));
  std::vector<uint8_t> tail(tailSize);
  if (tailSize) file_.ReadExactAt(fileSize_ - tailSize, tail.data(), tailSize);
  const auto endPos = FindEndRecord(tail.data(), tailSize, fileSize_);
  if (!endPos) {
    if (!OpenCorruptedArchives()) RaiseError(zk::kArchiveDamaged);
    Recover();
    return;
  }
  const uint8_t* end = tail.data() + (*endPos - (fileSize_ - tailSize));
  comment_.assign(reinterpret_cast<const char*>(end + kEndRecordSize), Get16(end + 20));
  LoadCentralDirectory(*endPos, end);
}

void TZipKiln::LoadCentralDirectory(uint64_t endPos, const uint8_t* endRecord) {
  const EndRecord er = ParseEndRecord(endRecord);
  uint64_t directoryEnd = endPos;
  uint64_t count = er.TotalEntries;
  uint64_t directorySize = er.DirectorySize;

  if (endPos > kZip64LocatorSize) {
    uint8_t locator[kZip64LocatorSize];
    file_.ReadExactAt(endPos - kZip64LocatorSize, locator, sizeof locator);
    if (Get32(locator) == kZip64LocatorSig) {
      uint8_t z64[kZip64EndSize];
      auto readZip64At = [&](uint64_t pos) {
        return pos + kZip64EndSize <= fileSize_ && file_.ReadAt(pos, z64, sizeof z64) == sizeof z64 &&
               Get32(z64) == kZip64EndSig;
      };
      uint64_t z64Pos = Get64(locator + 8);
      // With data in front of the archive the locator's offset is off by
      // its length; the record normally sits right before the locator.
      if (!readZip64At(z64Pos)) {
        const uint64_t before = endPos - kZip64LocatorSize;
        if (before < kZip64EndSize || !readZip64At(before - kZip64EndSize)) RaiseError(zk::kNoZip64EndRecord);
        z64Pos = before - kZip64EndSize;
      }
      const Zip64EndRecord z = ParseZip64EndRecord(z64);
      directoryEnd = z64Pos;
      count = z.TotalEntries;
      directorySize = z.DirectorySize;
    }
  }

  // The directory ends where the end record starts: computing its start
  // from there tolerates data prepended to the archive.
  if (directorySize > directoryEnd) RaiseError(zk::kInvalidArchive);
  dataLimit_ = directoryEnd - directorySize;
  std::vector<uint8_t> directory(static_cast<size_t>(directorySize));
  if (directorySize) file_.ReadExactAt(dataLimit_, directory.data(), directory.size());

  items_.reserve(static_cast<size_t>(std::min<uint64_t>(count, directorySize / kCentralHeaderSize)));
  size_t pos = 0;
  for (uint64_t i = 0; i < count; ++i) {
    TZKDirItem item;
    const size_t used = ParseCentralEntry(directory.data() + pos, directory.size() - pos, Options.OEMFileNames, item);
    if (used == 0) RaiseError(zk::kInvalidArchive);
    pos += used;
    items_.push_back(std::move(item));
  }
  FindStubDisplacement();
}

void TZipKiln::FindStubDisplacement() {
  if (items_.empty()) return;
  const TZKDirItem& first = items_.front();
  const uint64_t declared = first.LocalHeaderOffset64;
  uint64_t found = declared;
  bool accepted = false;
  ScanForSignature(file_, declared, dataLimit_, kLocalHeaderSig, [&](uint64_t hit) {
    uint8_t raw[kLocalHeaderSize];
    if (file_.ReadAt(hit, raw, sizeof raw) != sizeof raw) return false;
    const LocalHeader h = ParseLocalHeader(raw);
    // A header with a data descriptor holds no CRC and sizes of its own.
    const bool sizesKnown = !(h.Flags & 0x0008);
    if (h.VersionNeeded == first.VersionNeeded && h.Method == first.Method && h.ModTime == first.ModTime &&
        h.ModDate == first.ModDate &&
        (!sizesKnown || (h.Crc32 == first.Crc32 && h.CompressedSize == first.CompressedSize &&
                         h.UncompressedSize == first.UncompressedSize))) {
      found = hit;
      accepted = true;
      return false;
    }
    return true;
  });
  if (!accepted || found == declared) return;
  // The first entry's header was found that far behind its declared place:
  // every entry is shifted by the same amount.
  displacement_ = found - declared;
  for (auto& item : items_)
    if (!(item.ExternalAttr & 0x10)) item.LocalHeaderOffset64 += displacement_;
}

void TZipKiln::Recover() {
  recovered_ = true;
  dataLimit_ = fileSize_;
  bool any = false;
  ScanForSignature(file_, 0, fileSize_, kLocalHeaderSig, [&](uint64_t hit) {
    any = true;
    uint8_t raw[kLocalHeaderSize];
    if (file_.ReadAt(hit, raw, sizeof raw) != sizeof raw) return true;
    const LocalHeader h = ParseLocalHeader(raw);
    if (h.NameLength > 260) return true;
    TZKDirItem item;
    item.Signature = h.Signature;
    item.VersionMadeBy = h.VersionNeeded;
    item.VersionNeeded = h.VersionNeeded;
    item.Flags = h.Flags;
    item.Method = h.Method;
    item.ModTime = h.ModTime;
    item.ModDate = h.ModDate;
    item.Crc32 = h.Crc32;
    item.CompressedSize = h.CompressedSize;
    item.UncompressedSize = h.UncompressedSize;
    item.NameLength = h.NameLength;
    item.LocalHeaderOffset = static_cast<uint32_t>(std::min<uint64_t>(hit, 0xFFFFFFFFu));
    item.ExternalAttr = (h.UncompressedSize != 0 || (h.Flags & 0x0008)) ? 0x20 : 0x10;
    const size_t nameLen = std::min<size_t>(h.NameLength, 999);
    const uint64_t namePos = hit + kLocalHeaderSize;
    if (namePos + nameLen <= fileSize_) {
      std::string stored(nameLen, '\0');
      file_.ReadExactAt(namePos, stored.data(), nameLen);
      item.Name = ConvertEntryName(std::move(stored), h.Flags, Options.OEMFileNames, 999);
    }
    const uint64_t extraPos = namePos + h.NameLength;
    if (extraPos + h.ExtraLength <= fileSize_) {
      item.Extra.resize(h.ExtraLength);
      if (h.ExtraLength) file_.ReadExactAt(extraPos, item.Extra.data(), h.ExtraLength);
    }
    item.UncompressedSize64 = item.UncompressedSize;
    item.CompressedSize64 = item.CompressedSize;
    item.LocalHeaderOffset64 = hit;
    ApplyZip64Block(item);
    item.LocalHeaderOffset64 = hit;
    if (h.Flags & 0x0008) {
      // CRC-32 and sizes follow the data in a descriptor; its compressed
      // size must reach back exactly to the data's start.
      const uint64_t dataPos = extraPos + h.ExtraLength;
      ScanForSignature(file_, dataPos, fileSize_, kDescriptorSig, [&](uint64_t desc) {
        uint8_t d[16];
        if (file_.ReadAt(desc, d, sizeof d) != sizeof d) return false;
        if (Get32(d + 8) != desc - dataPos) return true;
        item.Crc32 = Get32(d + 4);
        item.CompressedSize = Get32(d + 8);
        item.UncompressedSize = Get32(d + 12);
        item.CompressedSize64 = item.CompressedSize;
        item.UncompressedSize64 = item.UncompressedSize;
        return false;
      });
    }
    items_.push_back(std::move(item));
    return true;
  });
  if (!any) RaiseError(zk::kInvalidArchive);
}

bool TZipKiln::CheckPassword(const TZKDirItem& item, const std::string& displayName, const uint8_t* header) {
  // Returns false when the entry is to be skipped.
  const uint8_t expected = item.HasDataDescriptor() ? static_cast<uint8_t>(item.ModTime >> 8)
                                                    : static_cast<uint8_t>(item.Crc32 >> 24);
  for (;;) {
    TZKTraditionalKeys keys(Password);
    uint8_t h[kEncryptionHeaderSize];
    std::memcpy(h, header, sizeof h);
    keys.Decrypt(h, sizeof h);
    if (h[kEncryptionHeaderSize - 1] == expected) return true;
    std::string typed = Password;
    bool skip = false;
    if (OnPassword) {
      OnPassword(displayName, typed, skip);
    } else {
      skip = !Dialogs().InputQuery(Format("Password for \"%s\"", displayName.c_str()), "Enter password: ", typed);
    }
    if (skip) return false;
    Password = typed;
  }
}

void TZipKiln::WriteEntryData(size_t index, const std::string& displayName, os::File& out) {
  if (index >= items_.size()) RaiseError(zk::kIndexOutOfBounds);
  const TZKDirItem item = items_[index];

  const uint64_t headerPos = item.LocalHeaderOffset64;
  uint8_t raw[kLocalHeaderSize];
  if (headerPos > fileSize_ || fileSize_ - headerPos < kLocalHeaderSize) RaiseError(zk::kInvalidCheckSum);
  file_.ReadExactAt(headerPos, raw, sizeof raw);
  const LocalHeader local = ParseLocalHeader(raw);
  if (local.Signature != kLocalHeaderSig) RaiseError(zk::kInvalidCheckSum);
  uint64_t dataPos = headerPos + kLocalHeaderSize + local.NameLength + local.ExtraLength;

  // The data never runs into the central directory.
  uint64_t compressed = item.CompressedSize64;
  compressed = dataPos >= dataLimit_ ? 0 : std::min(compressed, dataLimit_ - dataPos);

  if (item.Method == 9) RaiseError(zk::kDeflate64Unsupported);
  if (item.Method != 0 && item.Method != 8) RaiseError(zk::kInvalidCheckSum);

  std::optional<TZKTraditionalKeys> keys;
  if (item.IsEncrypted()) {
    if (compressed < kEncryptionHeaderSize) RaiseError(zk::kInvalidCheckSum);
    uint8_t header[kEncryptionHeaderSize];
    file_.ReadExactAt(dataPos, header, sizeof header);
    if (!CheckPassword(item, displayName, header)) {
      skip_ = true;
      return;
    }
    keys.emplace(Password);
    keys->Decrypt(header, sizeof header);
    dataPos += kEncryptionHeaderSize;
    compressed -= kEncryptionHeaderSize;
  }

  const uint64_t declared = item.UncompressedSize64;
  uint64_t written = 0;
  uint32_t crc = 0;
  auto emit = [&](const uint8_t* data, size_t n) {
    if (n == 0) return;
    // More output than declared: fail now rather than fill the disk.
    if (n > declared - written) RaiseError(zk::kInvalidCheckSum);
    crc = crypto::Crc32Continue(crc, data, n);
    size_t done = 0;
    try {
      done = out.WriteAt(written, data, n);
    } catch (const EOSError&) {
      RaiseError(zk::kInvalidCheckSum);
    }
    if (done != n) RaiseError(zk::kInvalidCheckSum);
    written += n;
  };

  z_stream zs{};
  bool inflating = false;
  struct InflateGuard {
    z_stream* zs;
    bool* on;
    ~InflateGuard() {
      if (*on) inflateEnd(zs);
    }
  } guard{&zs, &inflating};
  if (item.Method == 8) {
    // Raw deflate data (no zlib header or trailer).
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) RaiseError(zk::kInvalidCheckSum);
    inflating = true;
  }

  const double ratio = compressed ? static_cast<double>(declared) / static_cast<double>(compressed) : 1.0;
  const uint64_t memory = os::AvailablePhysicalMemory();
  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  if (item.Method == 8) output.resize(kOutputBuffer);
  uint64_t remaining = compressed;
  bool streamEnd = false;
  while (remaining > 0 && !streamEnd) {
    const size_t chunk = ZKChunkSize(remaining, item.Method == 8 ? ratio : 1.0, memory);
    input.resize(chunk);
    file_.ReadExactAt(dataPos, input.data(), chunk);
    if (keys) keys->Decrypt(input.data(), chunk);
    if (item.Method == 0) {
      emit(input.data(), chunk);
    } else {
      zs.next_in = input.data();
      zs.avail_in = static_cast<uInt>(chunk);
      do {
        zs.next_out = output.data();
        zs.avail_out = static_cast<uInt>(output.size());
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc == Z_STREAM_END)
          streamEnd = true;
        else if (rc != Z_OK && rc != Z_BUF_ERROR)
          RaiseError(zk::kInvalidCheckSum);  // corrupt stream: this entry fails
        emit(output.data(), output.size() - zs.avail_out);
        if (rc == Z_BUF_ERROR && zs.avail_out != 0) break;  // needs more input
      } while (!streamEnd && (zs.avail_in > 0 || zs.avail_out == 0));
    }
    dataPos += chunk;
    remaining -= chunk;
    ReportChunk(displayName, compressed - remaining, compressed, chunk);
    if (cancel_) return;
  }
  if (written != declared || crc != item.Crc32) {
    if (!ExtractCorruptedFiles) RaiseError(zk::kInvalidCheckSum);
  }
}

}  // namespace duz
