#include "sqlengine/storage/page_cipher.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/block_cipher.h"
#include "crypto/hash.h"
#include "platform/error.h"

namespace duz {

namespace {

struct CipherInfo {
  const char* name;
  crypto::CipherKind kind;
  bool ripemd256;
  size_t keyBytes;
};

const CipherInfo kCiphers[] = {
    {"Rijndael_128", crypto::CipherKind::Rijndael, false, 16},
    {"Rijndael_256", crypto::CipherKind::Rijndael, true, 32},
    {"DES_Single", crypto::CipherKind::DES, false, 8},
    {"DES_Triple", crypto::CipherKind::DES, false, 24},
    {"Blowfish", crypto::CipherKind::Blowfish, true, 32},
    {"Twofish_128", crypto::CipherKind::Twofish, false, 16},
    {"Twofish_256", crypto::CipherKind::Twofish, true, 32},
    {"Square", crypto::CipherKind::Square, false, 16},
};

class SingleCipher : public TORQBlockTransform {
 public:
  SingleCipher(crypto::CipherKind kind, const std::string& key) : cipher_(crypto::CreateBlockCipher(kind)) {
    cipher_->SetKey(reinterpret_cast<const uint8_t*>(key.data()), key.size());
  }
  size_t BlockSize() const override { return cipher_->BlockSize(); }
  void Encrypt(uint8_t* b) const override { cipher_->EncryptBlock(b, b); }
  void Decrypt(uint8_t* b) const override { cipher_->DecryptBlock(b, b); }

 private:
  std::unique_ptr<crypto::BlockCipher> cipher_;
};

// Triple DES over three 8-byte blocks at once, with the middle words of the
// first two blocks exchanged between the stages.
class TripleDes24 : public TORQBlockTransform {
 public:
  explicit TripleDes24(const std::string& key) {
    for (int i = 0; i < 3; ++i) {
      k_[i] = crypto::CreateBlockCipher(crypto::CipherKind::DES);
      k_[i]->SetKey(reinterpret_cast<const uint8_t*>(key.data()) + 8 * i, 8);
    }
  }
  size_t BlockSize() const override { return 24; }
  void Encrypt(uint8_t* b) const override {
    Stage(*k_[0], true, b);
    Exchange(b);
    Stage(*k_[1], false, b);
    Exchange(b);
    Stage(*k_[2], true, b);
  }
  void Decrypt(uint8_t* b) const override {
    Stage(*k_[2], false, b);
    Exchange(b);
    Stage(*k_[1], true, b);
    Exchange(b);
    Stage(*k_[0], false, b);
  }

 private:
  static void Stage(const crypto::BlockCipher& c, bool encrypt, uint8_t* b) {
    for (int i = 0; i < 3; ++i) encrypt ? c.EncryptBlock(b + 8 * i, b + 8 * i) : c.DecryptBlock(b + 8 * i, b + 8 * i);
  }
  // Words w1 (bytes 4..7) and w2 (bytes 8..11).
  static void Exchange(uint8_t* b) { std::swap_ranges(b + 4, b + 8, b + 8); }
  std::unique_ptr<crypto::BlockCipher> k_[3];
};

}  // namespace

std::string CipherName(uint8_t cipherId) { return cipherId <= kMaxCipherId ? kCiphers[cipherId].name : ""; }

std::string DerivePageKey(const std::string& password, uint8_t cipherId) {
  const CipherInfo& info = kCiphers[cipherId];
  std::string digest;
  if (info.ripemd256) {
    auto d = crypto::Ripemd256(password.data(), password.size());
    digest.assign(d.begin(), d.end());
  } else {
    auto d = crypto::Ripemd128(password.data(), password.size());
    digest.assign(d.begin(), d.end());
  }
  std::string key = digest.substr(0, std::min(digest.size(), info.keyBytes));
  key.resize(info.keyBytes, '\0');
  return key;
}

std::unique_ptr<TORQBlockTransform> CreatePageTransform(const std::string& password, uint8_t cipherId) {
  if (cipherId > kMaxCipherId) return nullptr;
  std::string key = DerivePageKey(password, cipherId);
  if (cipherId == 3) return std::make_unique<TripleDes24>(key);
  return std::make_unique<SingleCipher>(kCiphers[cipherId].kind, key);
}

TORQPageCipher::TORQPageCipher(const std::string& password, uint8_t cipherId) : id_(cipherId) {
  try {
    transform_ = CreatePageTransform(password, cipherId);
  } catch (const std::exception&) {
    failed_ = true;
  }
}

TORQPageCipher::~TORQPageCipher() = default;

bool TORQPageCipher::Encrypt(uint8_t* data, size_t size) const {
  if (failed_) return false;
  if (!transform_) return true;
  try {
    const size_t bs = transform_->BlockSize();
    uint8_t f[32], c[32];
    std::memset(f, 0xFF, bs);
    size_t pos = 0;
    for (; pos + bs <= size; pos += bs) {
      for (size_t i = 0; i < bs; ++i) c[i] = data[pos + i] ^ f[i];
      transform_->Encrypt(c);
      for (size_t i = 0; i < bs; ++i) f[i] ^= c[i];
      std::memcpy(data + pos, c, bs);
    }
    if (pos < size) {
      std::memcpy(c, f, bs);
      transform_->Encrypt(c);
      for (size_t i = 0; pos + i < size; ++i) data[pos + i] ^= c[i];
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool TORQPageCipher::Decrypt(uint8_t* data, size_t size) const {
  if (failed_) return false;
  if (!transform_) return true;
  try {
    const size_t bs = transform_->BlockSize();
    uint8_t f[32], p[32];
    std::memset(f, 0xFF, bs);
    size_t pos = 0;
    for (; pos + bs <= size; pos += bs) {
      std::memcpy(p, data + pos, bs);
      transform_->Decrypt(p);
      for (size_t i = 0; i < bs; ++i) {
        const uint8_t cipherByte = data[pos + i];
        data[pos + i] = p[i] ^ f[i];
        f[i] ^= cipherByte;
      }
    }
    if (pos < size) {
      std::memcpy(p, f, bs);
      transform_->Encrypt(p);
      for (size_t i = 0; pos + i < size; ++i) data[pos + i] ^= p[i];
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool EncryptBuffer(const TORQPassword& password, uint8_t cipherId, uint8_t* data, size_t size) {
  return TORQPageCipher(password.Password, cipherId).Encrypt(data, size);
}

bool DecryptBuffer(const TORQPassword& password, uint8_t cipherId, uint8_t* data, size_t size) {
  return TORQPageCipher(password.Password, cipherId).Decrypt(data, size);
}

}  // namespace duz
