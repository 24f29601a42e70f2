#include "crypto/sha_core.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace duz::crypto::detail {

namespace {

uint32_t LoadBigEndian(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void StoreBigEndian(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace

template <bool kRotateSchedule>
void ShaCore<kRotateSchedule>::Reset() {
  state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  buffered_ = 0;
  totalBytes_ = 0;
}

template <bool kRotateSchedule>
void ShaCore<kRotateSchedule>::Compress(const uint8_t* block) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(block + 4 * t);
  for (int t = 16; t < 80; ++t) {
    uint32_t x = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16];
    w[t] = kRotateSchedule ? std::rotl(x, 1) : x;
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    uint32_t temp = std::rotl(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = std::rotl(b, 30);
    b = a;
    a = temp;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
}

template <bool kRotateSchedule>
void ShaCore<kRotateSchedule>::Update(const void* data, size_t length) {
  if (length == 0) return;
  const auto* p = static_cast<const uint8_t*>(data);
  totalBytes_ += length;
  if (buffered_) {
    size_t take = std::min(length, buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, p, take);
    buffered_ += take;
    p += take;
    length -= take;
    if (buffered_ < buffer_.size()) return;
    Compress(buffer_.data());
    buffered_ = 0;
  }
  for (; length >= 64; p += 64, length -= 64) Compress(p);
  if (length) {
    std::memcpy(buffer_.data(), p, length);
    buffered_ = length;
  }
}

template <bool kRotateSchedule>
std::array<uint8_t, 20> ShaCore<kRotateSchedule>::Final() {
  const uint64_t bits = totalBytes_ * 8;
  // 0x80, zeros up to 56 mod 64, then the 64-bit big-endian bit length.
  uint8_t pad[72] = {0x80};
  size_t padLength = (buffered_ < 56 ? 56 : 120) - buffered_;
  Update(pad, padLength);
  uint8_t lengthBytes[8];
  StoreBigEndian(static_cast<uint32_t>(bits >> 32), lengthBytes);
  StoreBigEndian(static_cast<uint32_t>(bits), lengthBytes + 4);
  Update(lengthBytes, 8);
  std::array<uint8_t, 20> digest;
  for (int i = 0; i < 5; ++i) StoreBigEndian(state_[i], digest.data() + 4 * i);
  Reset();
  return digest;
}

template class ShaCore<false>;
template class ShaCore<true>;

}  // namespace duz::crypto::detail
