// Slicing-by-8: eight bytes per step through eight derived tables.
#include "crypto/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace duz::crypto {

namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  return t;
}

constexpr Tables kTables = MakeTables();

uint32_t LoadLittleEndian32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (; length >= 8; p += 8, length -= 8) {
    uint32_t lo = LoadLittleEndian32(p) ^ crc;
    uint32_t hi = LoadLittleEndian32(p + 4);
    crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
  }
  for (; length; ++p, --length) crc = (crc >> 8) ^ kTables[0][(crc ^ *p) & 0xFF];
  return crc;
}

uint32_t Crc32Continue(uint32_t crc, const void* data, size_t length) {
  return ~Crc32Update(~crc, data, length);
}

uint32_t Crc32(const void* data, size_t length) { return Crc32Continue(0, data, length); }

}  // namespace duz::crypto
