// zlib's crc32 is the fastest table-driven CRC-32 at hand; it complements
// before and after, so the raw update is its complement around the call.
#include "crypto/crc32.h"

#include <zlib.h>

namespace duz::crypto {

uint32_t Crc32Continue(uint32_t crc, const void* data, size_t length) {
  if (length == 0) return crc;
  return static_cast<uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), length));
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) { return ~Crc32Continue(~crc, data, length); }

uint32_t Crc32(const void* data, size_t length) { return Crc32Continue(0, data, length); }

}  // namespace duz::crypto
