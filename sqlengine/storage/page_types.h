// Page types of a database file and their names (used in messages).
#pragma once

#include <cstdint>
#include <string>

namespace duz {

enum TORQPageType : uint16_t {
  ptUnknown = 0,
  ptEmpty = 1,
  ptEAM = 2,
  ptPFS = 3,
  ptFileSystemDirectory = 4,
  ptActiveSessionList = 5,
  ptTableList = 6,
  ptTableLocks = 7,
  ptTableMetaData = 8,
  ptTableMostUpdated = 9,
  ptTableRecord = 10,
  ptTableBlob = 11,
  ptTableIndex = 12,
};

// In a page request: accept a page of any type.
constexpr uint8_t kAnyPageType = 255;

// "Unknown Page Type: (%d)" for a type without a name.
std::string PageTypeName(int pageType);

}  // namespace duz
