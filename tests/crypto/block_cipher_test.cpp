#include "crypto/block_cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "crypto/encrypt_exception.h"
#include "hex.h"

namespace duz::crypto {
namespace {

using test::FromHex;
using test::ToHex;

struct KnownAnswer {
  CipherKind kind;
  const char* key;
  const char* plain;
  const char* cipher;
};

// Published vectors: FIPS-197 appendices B and C; the classic DES examples
// (textbook worked example, "Now is t", the all-zero and all-one weak keys);
// Schneier's Blowfish set (Eric Young's table); the Twofish paper's
// ecb_tbl/ecb_ival values; Square's reference implementation; the GOST
// 28147-89 validation set shipped with Crypto++ (test-parameter S-boxes).
const KnownAnswer kKnownAnswers[] = {
    {CipherKind::Rijndael, "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32"},
    {CipherKind::Rijndael, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {CipherKind::Rijndael, "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {CipherKind::Rijndael, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},

    {CipherKind::DES, "133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    {CipherKind::DES, "0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    {CipherKind::DES, "0000000000000000", "0000000000000000", "8CA64DE9C1B123A7"},
    {CipherKind::DES, "0101010101010101", "0000000000000000", "8CA64DE9C1B123A7"},
    {CipherKind::DES, "FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "7359B2163E4EDC58"},

    {CipherKind::Blowfish, "0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {CipherKind::Blowfish, "FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {CipherKind::Blowfish, "3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {CipherKind::Blowfish, "1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {CipherKind::Blowfish, "0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {CipherKind::Blowfish, "FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},

    {CipherKind::Twofish, "00000000000000000000000000000000", "00000000000000000000000000000000",
     "9F589F5CF6122C32B6BFEC2F2AE8C35A"},
    {CipherKind::Twofish, "00000000000000000000000000000000", "9F589F5CF6122C32B6BFEC2F2AE8C35A",
     "D491DB16E7B1C39E86CB086B789F5419"},
    {CipherKind::Twofish, "9F589F5CF6122C32B6BFEC2F2AE8C35A", "D491DB16E7B1C39E86CB086B789F5419",
     "019F9809DE1711858FAAC3A3BA20FBC3"},
    {CipherKind::Twofish, "0123456789ABCDEFFEDCBA98765432100011223344556677", "00000000000000000000000000000000",
     "CFD1D2E5A9BE9CDF501F13B892BD2248"},
    {CipherKind::Twofish, "0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF",
     "00000000000000000000000000000000", "37527BE0052334B89F0CFCCAE87CFA20"},

    {CipherKind::Square, "000102030405060708090A0B0C0D0E0F", "000102030405060708090A0B0C0D0E0F",
     "7C3491D94994E70F0EC2E7A5CCB5A14F"},

    {CipherKind::Gost, "BE5EC2006CFF9DCF52354959F1FF0CBFE95061B5A648C10387069C25997C0672", "0DF82802B741A292",
     "07F9027DF7F7DF89"},
    {CipherKind::Gost, "B385272AC8D72A5A8B344BC80363AC4D09BF58F41F540624CBCB8FDCF55307D7", "1354EE9C0A11CD4C",
     "4FB50536F960A7B1"},
    {CipherKind::Gost, "AEE02F609A35660E4097E546FD3026B032CD107C7D459977ADF489BEF2652262", "6693D492C4B0CC39",
     "670034AC0FA811B5"},
};

std::vector<uint8_t> Encrypt(const BlockCipher& cipher, std::vector<uint8_t> block) {
  cipher.EncryptBlock(block.data(), block.data());
  return block;
}

std::vector<uint8_t> Decrypt(const BlockCipher& cipher, std::vector<uint8_t> block) {
  cipher.DecryptBlock(block.data(), block.data());
  return block;
}

TEST(BlockCipherTest, KnownAnswerVectors) {
  for (const KnownAnswer& v : kKnownAnswers) {
    auto cipher = CreateBlockCipher(v.kind);
    SCOPED_TRACE(cipher->Name() + " key " + v.key + " plain " + v.plain);
    const auto key = FromHex(v.key), plain = FromHex(v.plain), expected = FromHex(v.cipher);
    ASSERT_EQ(plain.size(), cipher->BlockSize());

    // Schedule an unrelated key first: re-keying must replace both directions.
    std::vector<uint8_t> other(key.size(), 0x5A);
    cipher->SetKey(other.data(), other.size());
    cipher->SetKey(key.data(), key.size());

    std::vector<uint8_t> out(plain.size());
    cipher->EncryptBlock(plain.data(), out.data());
    EXPECT_EQ(ToHex(out), ToHex(expected));
    EXPECT_EQ(ToHex(Encrypt(*cipher, plain)), ToHex(expected)) << "in place";
    cipher->DecryptBlock(expected.data(), out.data());
    EXPECT_EQ(ToHex(out), ToHex(plain));
    EXPECT_EQ(ToHex(Decrypt(*cipher, expected)), ToHex(plain)) << "in place";
  }
}

// Eric Young's variable-key-length set: the first n bytes of one key, n = 1..24,
// on plaintext FEDCBA9876543210; covers the cycling schedule for short keys.
TEST(BlockCipherTest, BlowfishVariableKeyLengths) {
  const auto fullKey = FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
  const char* expected[] = {
      "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05", "B39E44481BDB1E6E",
      "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82", "15750E7A4F4EC577", "122BA70B3AB64AE0",
      "3A833C9AFFC537F6", "9409DA87A90F6BF2", "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F",
      "93142887EE3BE15C", "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
      "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080"};
  const auto plain = FromHex("FEDCBA9876543210");
  auto cipher = CreateBlockCipher(CipherKind::Blowfish);
  for (size_t n = 1; n <= fullKey.size(); ++n) {
    SCOPED_TRACE("key length " + std::to_string(n));
    cipher->SetKey(fullKey.data(), n);
    EXPECT_EQ(ToHex(Encrypt(*cipher, plain)), ToHex(FromHex(expected[n - 1])));
    EXPECT_EQ(ToHex(Decrypt(*cipher, FromHex(expected[n - 1]))), ToHex(plain));
  }
}

TEST(BlockCipherTest, Properties) {
  struct Row {
    CipherKind kind;
    const char* name;
    size_t blockSize;
    size_t maxKeySize;
  };
  const Row rows[] = {{CipherKind::Rijndael, "Rijndael", 16, 32}, {CipherKind::DES, "DES", 8, 8},
                      {CipherKind::Blowfish, "Blowfish", 8, 56},  {CipherKind::Twofish, "Twofish", 16, 32},
                      {CipherKind::Square, "Square", 16, 16},     {CipherKind::Gost, "Gost", 8, 32}};
  for (const Row& row : rows) {
    auto cipher = CreateBlockCipher(row.kind);
    EXPECT_EQ(cipher->Name(), row.name);
    EXPECT_EQ(cipher->BlockSize(), row.blockSize) << row.name;
    EXPECT_EQ(cipher->MaxKeySize(), row.maxKeySize) << row.name;
  }
}

TEST(BlockCipherTest, BadKeyLengthsRaiseAndKeepTheKey) {
  struct Row {
    CipherKind kind;
    std::vector<size_t> badLengths;
    size_t goodLength;
    const char* message;
  };
  const Row rows[] = {
      {CipherKind::Rijndael, {0, 8, 15, 17, 20, 31, 33, 64}, 16,
       "Length from Encryptionkey is invalid.\r\nKeysize for Rijndael must be to 16-32 bytes"},
      {CipherKind::DES, {0, 7, 9, 16}, 8, "Length from Encryptionkey is invalid.\r\nKeysize for DES must be to 8-8 bytes"},
      {CipherKind::Blowfish, {0, 57, 72}, 20,
       "Length from Encryptionkey is invalid.\r\nKeysize for Blowfish must be to 1-56 bytes"},
      {CipherKind::Twofish, {0, 33}, 20,
       "Length from Encryptionkey is invalid.\r\nKeysize for Twofish must be to 1-32 bytes"},
      {CipherKind::Square, {0, 15, 17, 32}, 16,
       "Length from Encryptionkey is invalid.\r\nKeysize for Square must be to 16-16 bytes"},
      {CipherKind::Gost, {0, 33, 40}, 20, "Length from Encryptionkey is invalid.\r\nKeysize for Gost must be to 1-32 bytes"},
  };
  std::vector<uint8_t> key(80);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 7 + 1);
  for (const Row& row : rows) {
    auto cipher = CreateBlockCipher(row.kind);
    cipher->SetKey(key.data(), row.goodLength);
    const std::vector<uint8_t> plain(cipher->BlockSize(), 0x33);
    const auto before = Encrypt(*cipher, plain);
    for (size_t length : row.badLengths) {
      SCOPED_TRACE(cipher->Name() + " length " + std::to_string(length));
      try {
        cipher->SetKey(key.data(), length);
        ADD_FAILURE() << "no exception";
      } catch (const EEncryptException& e) {
        EXPECT_EQ(e.Message(), row.message);
      }
      EXPECT_EQ(Encrypt(*cipher, plain), before) << "a refused key must not disturb the schedule";
    }
  }
}

TEST(BlockCipherTest, UseBeforeKeyRaises) {
  for (CipherKind kind : {CipherKind::Rijndael, CipherKind::DES, CipherKind::Blowfish, CipherKind::Twofish,
                          CipherKind::Square, CipherKind::Gost}) {
    auto cipher = CreateBlockCipher(kind);
    std::vector<uint8_t> block(cipher->BlockSize());
    const std::string message = cipher->Name() + " is not initialized call Init() or InitKey() before.";
    try {
      cipher->EncryptBlock(block.data(), block.data());
      ADD_FAILURE() << cipher->Name() << ": encrypt without key";
    } catch (const EEncryptException& e) {
      EXPECT_EQ(e.Message(), message);
    }
    EXPECT_THROW(cipher->DecryptBlock(block.data(), block.data()), EEncryptException) << cipher->Name();
  }
}

// Short keys behave exactly as the same key zero-padded to the next accepted
// size: Twofish to 16/24/32 (the rule of the Twofish paper), GOST to 32.
TEST(BlockCipherTest, ShortKeysEqualZeroPaddedKeys) {
  struct Row {
    CipherKind kind;
    size_t length;
    size_t padded;
  };
  const Row rows[] = {{CipherKind::Twofish, 20, 24}, {CipherKind::Twofish, 1, 16}, {CipherKind::Twofish, 10, 16},
                      {CipherKind::Twofish, 17, 24}, {CipherKind::Twofish, 25, 32}, {CipherKind::Gost, 20, 32},
                      {CipherKind::Gost, 1, 32},     {CipherKind::Gost, 31, 32}};
  std::mt19937 rng(20);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.length) + " -> " + std::to_string(row.padded));
    std::vector<uint8_t> key(row.padded, 0);
    for (size_t i = 0; i < row.length; ++i) key[i] = static_cast<uint8_t>(rng() | 1);  // no accidental zero tail
    auto shortKeyed = CreateBlockCipher(row.kind), padKeyed = CreateBlockCipher(row.kind);
    shortKeyed->SetKey(key.data(), row.length);
    padKeyed->SetKey(key.data(), row.padded);
    for (int n = 0; n < 8; ++n) {
      std::vector<uint8_t> block(shortKeyed->BlockSize());
      for (auto& b : block) b = static_cast<uint8_t>(rng());
      EXPECT_EQ(Encrypt(*shortKeyed, block), Encrypt(*padKeyed, block));
      EXPECT_EQ(Decrypt(*shortKeyed, block), Decrypt(*padKeyed, block));
    }
    // And differs from the key with a non-zero byte in the padding.
    key[row.length] = 1;
    padKeyed->SetKey(key.data(), row.padded);
    std::vector<uint8_t> zero(shortKeyed->BlockSize(), 0);
    EXPECT_NE(Encrypt(*shortKeyed, zero), Encrypt(*padKeyed, zero));
  }
}

// GOST 28147-89 written out from the algorithm description with the S-box
// table the configuration store's files use (test parameter set). Holding the
// library cipher against it checks the S-boxes, their nibble order, the word
// byte order and the key-word order of the rounds.
class ReferenceGost {
 public:
  explicit ReferenceGost(const uint8_t* key) {
    for (int i = 0; i < 8; ++i) k_[i] = Load(key + 4 * i);
  }
  void Encrypt(const uint8_t* in, uint8_t* out) const { Run(in, out, false); }
  void Decrypt(const uint8_t* in, uint8_t* out) const { Run(in, out, true); }

 private:
  static constexpr uint8_t kSBox[8][16] = {
      {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},  {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
      {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},  {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
      {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},  {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
      {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},  {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12}};

  static uint32_t Load(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }
  static void Store(uint32_t v, uint8_t* p) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
  static uint32_t F(uint32_t x) {
    uint32_t y = 0;
    for (int row = 0; row < 8; ++row) y |= uint32_t{kSBox[row][(x >> (4 * row)) & 15]} << (4 * row);
    return y << 11 | y >> 21;
  }
  // Encryption: key words 0..7 three times, then 7..0; decryption the reverse.
  void Run(const uint8_t* in, uint8_t* out, bool decrypt) const {
    uint32_t n1 = Load(in), n2 = Load(in + 4);
    for (int round = 0; round < 32; ++round) {
      int r = decrypt ? 31 - round : round;
      int keyWord = r < 24 ? r % 8 : 7 - r % 8;
      uint32_t t = n2 ^ F(n1 + k_[keyWord]);
      n2 = n1;
      n1 = t;
    }
    // The last round does not exchange the halves.
    Store(n2, out);
    Store(n1, out + 4);
  }

  uint32_t k_[8];
};

TEST(BlockCipherTest, GostMatchesTheAlgorithmDescription) {
  std::mt19937 rng(28147);
  auto cipher = CreateBlockCipher(CipherKind::Gost);
  for (int n = 0; n < 200; ++n) {
    uint8_t key[32], block[8], expected[8], got[8];
    for (auto& b : key) b = static_cast<uint8_t>(rng());
    for (auto& b : block) b = static_cast<uint8_t>(rng());
    ReferenceGost reference(key);
    cipher->SetKey(key, sizeof key);
    reference.Encrypt(block, expected);
    cipher->EncryptBlock(block, got);
    ASSERT_EQ(ToHex(std::vector<uint8_t>(got, got + 8)), ToHex(std::vector<uint8_t>(expected, expected + 8))) << n;
    reference.Decrypt(block, expected);
    cipher->DecryptBlock(block, got);
    ASSERT_EQ(ToHex(std::vector<uint8_t>(got, got + 8)), ToHex(std::vector<uint8_t>(expected, expected + 8))) << n;
  }
}

}  // namespace
}  // namespace duz::crypto
