// Hashes used for key derivation: RIPEMD-128/256 (SQL engine page keys) and
// SHA-0 (configuration store keys and password check).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crypto/sha_core.h"

namespace duz::crypto {

using Digest16 = std::array<uint8_t, 16>;
using Digest20 = std::array<uint8_t, 20>;
using Digest32 = std::array<uint8_t, 32>;

Digest16 Ripemd128(const void* data, size_t length);
Digest32 Ripemd256(const void* data, size_t length);
// FIPS 180 (1993): SHA-1 without the one-bit rotation in the message schedule.
Digest20 Sha0(const void* data, size_t length);

inline Digest20 Sha0(std::string_view s) { return Sha0(s.data(), s.size()); }

// Incremental SHA-0 for input that arrives in pieces: Update(...)..., Final().
using Sha0Hasher = detail::ShaCore<false>;

}  // namespace duz::crypto
