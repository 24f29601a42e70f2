// A record's address: page number, then slot in the page (ordered that way).
#pragma once

#include <cstdint>

namespace duz {

struct TORQRecordId {
  int32_t PageNo = -1;
  uint16_t Slot = 0;
  friend bool operator==(const TORQRecordId&, const TORQRecordId&) = default;
  friend auto operator<=>(const TORQRecordId&, const TORQRecordId&) = default;
};

}  // namespace duz
