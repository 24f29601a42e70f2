#include <cryptopp/ripemd.h>

#include "crypto/hash.h"

namespace duz::crypto {

Digest16 Ripemd128(const void* data, size_t length) {
  Digest16 digest;
  CryptoPP::RIPEMD128().CalculateDigest(digest.data(), static_cast<const CryptoPP::byte*>(data), length);
  return digest;
}

Digest32 Ripemd256(const void* data, size_t length) {
  Digest32 digest;
  CryptoPP::RIPEMD256().CalculateDigest(digest.data(), static_cast<const CryptoPP::byte*>(data), length);
  return digest;
}

}  // namespace duz::crypto
