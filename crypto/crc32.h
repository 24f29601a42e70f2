// CRC-32 with the reflected polynomial 0xEDB88320.
#pragma once

#include <cstddef>
#include <cstdint>

namespace duz::crypto {

// The raw table update: no initial or final complement.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);
// The page checksum of the SQL engine: the raw update started from 0
// ("abc" gives 0xCA6598D0).
inline uint32_t PageChecksum(const void* data, size_t length) { return Crc32Update(0, data, length); }
// Standard CRC-32 (ZIP, zlib): start 0xFFFFFFFF, final complement.
uint32_t Crc32(const void* data, size_t length);
// Incremental standard CRC-32: feed crc = Crc32Continue(crc, ...) from crc = 0.
uint32_t Crc32Continue(uint32_t crc, const void* data, size_t length);

}  // namespace duz::crypto
