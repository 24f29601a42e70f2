// Archives for the archive component's tests: crafted byte by byte where no
// tool makes the case, or made by the real zip, 7z and Python tools.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ziparchive/zip_kiln.h"

namespace duz::test {

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& data);
// Runs a shell command; returns its exit status.
int Shell(const std::string& command);
bool HaveTool(const std::string& name);
// Runs a shell command and returns what it printed on stdout.
std::string ShellOutput(const std::string& command);
std::string RawDeflate(const std::string& data, int level = 6);
uint32_t Crc(const std::string& data);

struct CraftEntry {
  std::string name{};
  std::string data{};
  uint16_t method = 8;  // 0 stored, 8 deflated; others are stored bytes
  std::string password{};  // non-empty: traditional encryption
  bool descriptor = false;  // CRC and sizes in a data descriptor (bit 3)
  bool zip64 = false;       // sizes and offset in a Zip64 block
  uint32_t externalAttr = 0x20;
  uint16_t dosTime = 0x6000;  // 12:00:00
  uint16_t dosDate = 0x5A21;  // 2025-01-01
  uint16_t versionMadeBy = 20;
  uint16_t extraFlags = 0;
  std::optional<std::string> compressed{};  // replaces the compressed bytes
  std::optional<uint32_t> crc{};           // replaces the CRC-32 in the headers
  std::optional<uint32_t> size{};          // replaces the uncompressed size
};

// Local headers and data in entry order, then the central directory (in
// order, or in directoryOrder), then the end records.
std::string BuildZip(const std::vector<CraftEntry>& entries, const std::string& comment = {},
                     bool zip64EndRecord = false, const std::vector<size_t>& directoryOrder = {});

// Opens path with the update's settings (component name "Archiver").
struct Kiln : TZipKiln {
  explicit Kiln(const std::string& path, const std::string& password = {}) {
    Name = "Archiver";
    FileName = path;
    Password = password;
  }
};

// Relative paths of every file and folder below root ("dir/" for folders),
// sorted, with file contents.
struct TreeItem {
  std::string path;
  std::string content;
  bool operator==(const TreeItem&) const = default;
};
std::vector<TreeItem> ListTree(const std::string& root);

}  // namespace duz::test
