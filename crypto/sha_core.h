// The compression and padding shared by SHA-0 and SHA-1, which differ only in
// the one-bit rotation of the message schedule. SHA-0 is what the store's key
// derivation needs; the rotating variant exists so the tests can hold the
// common part against a library SHA-1.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace duz::crypto::detail {

template <bool kRotateSchedule>
class ShaCore {
 public:
  ShaCore() { Reset(); }
  void Reset();
  void Update(const void* data, size_t length);
  // Pads, returns the big-endian 20-byte digest and starts afresh.
  std::array<uint8_t, 20> Final();

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 5> state_{};
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t totalBytes_ = 0;
};

extern template class ShaCore<false>;
extern template class ShaCore<true>;

}  // namespace duz::crypto::detail
