// Raw block ciphers behind one small interface; both engines build their own
// chaining modes on top of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace duz::crypto {

enum class CipherKind { Rijndael, DES, Blowfish, Twofish, Square, Gost };

class BlockCipher {
 public:
  virtual ~BlockCipher() = default;
  virtual std::string Name() const = 0;
  virtual size_t BlockSize() const = 0;
  virtual size_t MaxKeySize() const = 0;
  // Runs the key schedule. Key lengths the algorithm does not take directly
  // are handled the way its users need: Twofish zero-pads to 16/24/32 bytes,
  // Gost zero-pads to 32, Blowfish cycles over any 1..56 bytes, DES takes 8
  // bytes without weak-key checks. Throws EEncryptException on a bad length.
  virtual void SetKey(const uint8_t* key, size_t length) = 0;
  // One block, in place allowed (in == out).
  virtual void EncryptBlock(const uint8_t* in, uint8_t* out) const = 0;
  virtual void DecryptBlock(const uint8_t* in, uint8_t* out) const = 0;
};

std::unique_ptr<BlockCipher> CreateBlockCipher(CipherKind kind);

}  // namespace duz::crypto
