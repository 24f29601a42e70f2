// Page encryption: the eight cipher ids, key derivation from the password by
// RIPEMD, and the chaining mode with an all-0xFF initial feedback and a
// keystream tail. Feedback never carries over from one buffer to the next,
// so equal plaintext pages give equal ciphertext.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "sqlengine/storage/orq_password.h"

namespace duz {

constexpr uint8_t kMaxCipherId = 7;

// "Rijndael_128", ..., "Square"; "" for an unknown id.
std::string CipherName(uint8_t cipherId);

// One block transform of the chaining mode; id 3 is triple DES on 24-byte
// blocks, the others a single block cipher.
class TORQBlockTransform {
 public:
  virtual ~TORQBlockTransform() = default;
  virtual size_t BlockSize() const = 0;
  virtual void Encrypt(uint8_t* block) const = 0;  // in place
  virtual void Decrypt(uint8_t* block) const = 0;
};

// The key a cipher id derives from a password (hash prefix, zero-padded).
std::string DerivePageKey(const std::string& password, uint8_t cipherId);

// Keyed transform for (password, cipher id); nullptr for an id above 7.
// Throws EEncryptException when the cipher refuses the key.
std::unique_ptr<TORQBlockTransform> CreatePageTransform(const std::string& password, uint8_t cipherId);

// A prepared key: building it hashes the password and runs the key schedule
// once, so pages are encrypted without repeating that work.
class TORQPageCipher {
 public:
  TORQPageCipher(const std::string& password, uint8_t cipherId);
  ~TORQPageCipher();
  uint8_t CipherId() const { return id_; }
  // False when the cipher failed (an unknown id leaves the buffer as is and
  // reports success, as the reader then fails its checksum).
  bool Encrypt(uint8_t* data, size_t size) const;
  bool Decrypt(uint8_t* data, size_t size) const;

 private:
  uint8_t id_;
  std::unique_ptr<TORQBlockTransform> transform_;
  bool failed_ = false;
};

// One-shot forms (key set up for this buffer alone).
bool EncryptBuffer(const TORQPassword& password, uint8_t cipherId, uint8_t* data, size_t size);
bool DecryptBuffer(const TORQPassword& password, uint8_t cipherId, uint8_t* data, size_t size);

}  // namespace duz
