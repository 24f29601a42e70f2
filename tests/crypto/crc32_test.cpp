#include "crypto/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace duz::crypto {
namespace {

TEST(Crc32Test, KnownValues) {
  // Raw update from 0 without complement (the page checksum).
  EXPECT_EQ(PageChecksum("", 0), 0u);
  EXPECT_EQ(PageChecksum("abc", 3), 0xCA6598D0u);
  // Standard CRC-32 (ZIP, zlib, PNG): the catalogue check value and others.
  struct Row {
    std::string text;
    uint32_t crc;
  };
  const Row rows[] = {
      {"", 0x00000000u},
      {"a", 0xE8B7BE43u},
      {"abc", 0x352441C2u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
  };
  for (const Row& row : rows) EXPECT_EQ(Crc32(row.text.data(), row.text.size()), row.crc) << row.text;
}

// An empty piece leaves the running value alone, even without a buffer
// (zlib answers 0 for a null buffer).
TEST(Crc32Test, EmptyPieceKeepsTheRunningValue) {
  EXPECT_EQ(Crc32Update(0xCA6598D0u, nullptr, 0), 0xCA6598D0u);
  EXPECT_EQ(Crc32Continue(0xCBF43926u, nullptr, 0), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
}

// The textbook bit-at-a-time form of the raw update, against which the
// table-driven one is checked.
uint32_t BitwiseUpdate(uint32_t crc, const uint8_t* p, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> data(length);
  uint32_t x = 2463534242u;
  for (auto& b : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return data;
}

// Every length and start alignment around the library's word steps, from
// several start values (the complements around the library call).
TEST(Crc32Test, RawUpdateMatchesBitwiseReference) {
  const auto data = Pattern(300);
  for (uint32_t start : {0x00000000u, 0xFFFFFFFFu, 0x12345678u}) {
    for (size_t offset = 0; offset < 8; ++offset) {
      for (size_t length = 0; offset + length <= data.size(); ++length) {
        const uint8_t* p = data.data() + offset;
        ASSERT_EQ(Crc32Update(start, p, length), BitwiseUpdate(start, p, length)) << start << "/" << offset << "/" << length;
      }
    }
  }
  EXPECT_EQ(Crc32(data.data(), data.size()), ~BitwiseUpdate(0xFFFFFFFFu, data.data(), data.size()));
}

TEST(Crc32Test, IncrementalEqualsWhole) {
  const auto data = Pattern(100);
  const uint32_t page = PageChecksum(data.data(), data.size());
  const uint32_t standard = Crc32(data.data(), data.size());
  for (size_t split = 0; split <= data.size(); ++split) {
    uint32_t raw = Crc32Update(0, data.data(), split);
    EXPECT_EQ(Crc32Update(raw, data.data() + split, data.size() - split), page) << split;
    uint32_t crc = Crc32Continue(0, data.data(), split);
    EXPECT_EQ(Crc32Continue(crc, data.data() + split, data.size() - split), standard) << split;
  }
}

}  // namespace
}  // namespace duz::crypto
