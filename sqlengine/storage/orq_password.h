// Password record of a database: the text (8-bit, case-sensitive, used as is)
// and the cipher id; an empty text means the database is not encrypted.
#pragma once

#include <cstdint>
#include <string>

namespace duz {

struct TORQPassword {
  std::string Password;
  uint8_t CipherId = 0;

  bool IsEmpty() const { return Password.empty(); }
};

}  // namespace duz
