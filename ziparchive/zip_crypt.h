// Traditional PKWARE encryption (APPNOTE "Traditional PKWARE Decryption"):
// three 32-bit keys updated with the CRC-32 byte step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace duz {

class TZKTraditionalKeys {
 public:
  explicit TZKTraditionalKeys(std::string_view password);

  uint8_t DecryptByte(uint8_t cipher) {
    const uint8_t plain = cipher ^ StreamByte();
    Update(plain);
    return plain;
  }
  void Decrypt(uint8_t* data, size_t length);
  uint8_t Encrypt(uint8_t plain) {  // used by tests to build archives by hand
    const uint8_t cipher = plain ^ StreamByte();
    Update(plain);
    return cipher;
  }

 private:
  uint8_t StreamByte() const {
    const uint32_t temp = (key2_ | 2) & 0xFFFF;
    return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
  }
  void Update(uint8_t c);

  uint32_t key0_ = 0x12345678;
  uint32_t key1_ = 0x23456789;
  uint32_t key2_ = 0x34567890;
};

}  // namespace duz
