// Adapter from a Crypto++ block cipher to BlockCipher. Each algorithm file
// gives the accepted key lengths and how a user key becomes the key the
// library schedules (padding, cycling).
#pragma once

#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "crypto/block_cipher.h"
#include "crypto/encrypt_exception.h"
#include "platform/error.h"

namespace duz::crypto {

struct KeyRule {
  size_t minLength;
  size_t maxLength;
  // Lengths inside [min, max] that are still refused (AES takes only 16/24/32).
  bool (*accepts)(size_t length);
  // Turns the user key into the bytes handed to the library's key schedule.
  void (*prepare)(const uint8_t* key, size_t length, CryptoPP::SecByteBlock& out);
};

inline void PrepareAsIs(const uint8_t* key, size_t length, CryptoPP::SecByteBlock& out) {
  out.Assign(key, length);
}

// Zero-pads to the first of the sizes (ascending) that holds the key.
inline void PrepareZeroPadded(const uint8_t* key, size_t length, std::initializer_list<size_t> sizes,
                              CryptoPP::SecByteBlock& out) {
  size_t target = length;
  for (size_t size : sizes) {
    if (length <= size) {
      target = size;
      break;
    }
  }
  out.CleanNew(target);  // zero-filled
  if (length) std::memcpy(out.data(), key, length);
}

inline bool AcceptAll(size_t) { return true; }

[[noreturn]] inline void ThrowBadKeyLength(const std::string& name, const KeyRule& rule) {
  throw EEncryptException(Format("Length from Encryptionkey is invalid.\r\nKeysize for %s must be to %d-%d bytes",
                                 name.c_str(), static_cast<int>(rule.minLength), static_cast<int>(rule.maxLength)));
}

[[noreturn]] inline void ThrowNotInitialized(const std::string& name) {
  throw EEncryptException(Format("%s is not initialized call Init() or InitKey() before.", name.c_str()));
}

template <class Algorithm>
class CryptoppBlockCipher final : public BlockCipher {
 public:
  CryptoppBlockCipher(std::string name, const KeyRule& rule) : name_(std::move(name)), rule_(rule) {}

  std::string Name() const override { return name_; }
  size_t BlockSize() const override { return Algorithm::BLOCKSIZE; }
  size_t MaxKeySize() const override { return rule_.maxLength; }

  void SetKey(const uint8_t* key, size_t length) override {
    if (length < rule_.minLength || length > rule_.maxLength || !rule_.accepts(length) || (length && !key))
      ThrowBadKeyLength(name_, rule_);
    CryptoPP::SecByteBlock prepared;
    rule_.prepare(key, length, prepared);
    encryption_.SetKey(prepared.data(), prepared.size());
    decryption_.SetKey(prepared.data(), prepared.size());
    keyed_ = true;
  }

  void EncryptBlock(const uint8_t* in, uint8_t* out) const override {
    if (!keyed_) ThrowNotInitialized(name_);
    encryption_.ProcessBlock(in, out);
  }

  void DecryptBlock(const uint8_t* in, uint8_t* out) const override {
    if (!keyed_) ThrowNotInitialized(name_);
    decryption_.ProcessBlock(in, out);
  }

 private:
  std::string name_;
  KeyRule rule_;
  bool keyed_ = false;
  typename Algorithm::Encryption encryption_;
  typename Algorithm::Decryption decryption_;
};

}  // namespace duz::crypto
