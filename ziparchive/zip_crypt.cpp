#include "ziparchive/zip_crypt.h"

#include <array>

#include "crypto/crc32.h"

namespace duz {
namespace {

// The CRC-32 byte step crc' = (crc >> 8) ^ T[(crc ^ b) & 0xFF]; T[b] is the
// raw table update of the byte b from 0. Kept locally so the per-byte key
// update of a whole entry stays a table look-up.
const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
      const uint8_t byte = static_cast<uint8_t>(b);
      t[b] = crypto::Crc32Update(0, &byte, 1);
    }
    return t;
  }();
  return table;
}

inline uint32_t CrcStep(const uint32_t* table, uint32_t crc, uint8_t b) { return (crc >> 8) ^ table[(crc ^ b) & 0xFF]; }

}  // namespace

TZKTraditionalKeys::TZKTraditionalKeys(std::string_view password) {
  for (char c : password) Update(static_cast<uint8_t>(c));
}

void TZKTraditionalKeys::Update(uint8_t c) {
  const uint32_t* table = CrcTable().data();
  key0_ = CrcStep(table, key0_, c);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = CrcStep(table, key2_, static_cast<uint8_t>(key1_ >> 24));
}

void TZKTraditionalKeys::Decrypt(uint8_t* data, size_t length) {
  const uint32_t* table = CrcTable().data();
  uint32_t k0 = key0_, k1 = key1_, k2 = key2_;
  for (size_t i = 0; i < length; ++i) {
    const uint32_t temp = (k2 | 2) & 0xFFFF;
    const uint8_t plain = data[i] ^ static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
    data[i] = plain;
    k0 = CrcStep(table, k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = CrcStep(table, k2, static_cast<uint8_t>(k1 >> 24));
  }
  key0_ = k0;
  key1_ = k1;
  key2_ = k2;
}

}  // namespace duz
