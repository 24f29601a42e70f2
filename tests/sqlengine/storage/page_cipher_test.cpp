// Page encryption: every cipher id over page-sized buffers, the chaining
// mode checked against the raw block ciphers, and the 24-byte triple DES.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "crypto/block_cipher.h"
#include "crypto/hash.h"
#include "sqlengine/storage/page_cipher.h"

namespace duz {
namespace {

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(g());
  return v;
}

size_t BlockSizeOf(uint8_t id) {
  static const size_t sizes[] = {16, 16, 8, 24, 8, 16, 16, 16};
  return sizes[id];
}

TEST(PageCipher, Names) {
  const char* names[] = {"Rijndael_128", "Rijndael_256", "DES_Single", "DES_Triple",
                         "Blowfish",     "Twofish_128",  "Twofish_256", "Square"};
  for (uint8_t id = 0; id <= 7; ++id) EXPECT_EQ(CipherName(id), names[id]);
  EXPECT_EQ(CipherName(8), "");
}

TEST(PageCipher, EveryIdRoundTripsDataAreasAndTheCheckBlock) {
  for (uint8_t id = 0; id <= 7; ++id) {
    TORQPageCipher cipher("Secret pw", id);
    for (size_t size : {size_t{4056}, size_t{16184}, size_t{256}, size_t{5}}) {
      auto plain = RandomBytes(size, static_cast<unsigned>(size + id));
      auto buf = plain;
      ASSERT_TRUE(cipher.Encrypt(buf.data(), buf.size()));
      EXPECT_NE(buf, plain) << "id " << int(id) << " size " << size;
      // The tail (size mod block size) is encrypted too.
      size_t tail = size % BlockSizeOf(id);
      if (tail) {
        EXPECT_NE(std::vector<uint8_t>(buf.end() - tail, buf.end()),
                  std::vector<uint8_t>(plain.end() - tail, plain.end()));
      }
      ASSERT_TRUE(cipher.Decrypt(buf.data(), buf.size()));
      EXPECT_EQ(buf, plain) << "id " << int(id) << " size " << size;
    }
  }
}

TEST(PageCipher, IdenticalPagesEncryptAlikeAndAChangeRunsToTheEnd) {
  for (uint8_t id = 0; id <= 7; ++id) {
    const size_t bs = BlockSizeOf(id);
    auto plain = RandomBytes(4056, 7);
    auto a = plain, b = plain;
    ASSERT_TRUE(EncryptBuffer({"pw", id}, id, a.data(), a.size()));
    ASSERT_TRUE(EncryptBuffer({"pw", id}, id, b.data(), b.size()));
    EXPECT_EQ(a, b) << "feedback restarts from 0xFF bytes for every buffer";
    auto changed = plain;
    const size_t block = 10;
    changed[block * bs + 3] ^= 0x01;
    ASSERT_TRUE(EncryptBuffer({"pw", id}, id, changed.data(), changed.size()));
    EXPECT_EQ(std::memcmp(a.data(), changed.data(), block * bs), 0) << "earlier blocks unchanged, id " << int(id);
    const size_t full = 4056 / bs;
    for (size_t k = block; k < full; ++k)
      EXPECT_NE(std::memcmp(a.data() + k * bs, changed.data() + k * bs, bs), 0) << "block " << k << " id " << int(id);
    if (4056 % bs) {
      EXPECT_NE(std::memcmp(a.data() + full * bs, changed.data() + full * bs, 4056 % bs), 0);
    }
  }
}

TEST(PageCipher, WrongPasswordDoesNotDecrypt) {
  auto plain = RandomBytes(256, 3);
  auto buf = plain;
  ASSERT_TRUE(EncryptBuffer({"right", 0}, 0, buf.data(), buf.size()));
  ASSERT_TRUE(DecryptBuffer({"Right", 0}, 0, buf.data(), buf.size()));
  EXPECT_NE(buf, plain);
}

// The mode rebuilt from the published primitives: C = E(P ^ F), F ^= C, and
// a tail XORed with E(F).
std::vector<uint8_t> ReferenceEncrypt(crypto::BlockCipher& c, std::vector<uint8_t> data) {
  const size_t bs = c.BlockSize();
  std::vector<uint8_t> f(bs, 0xFF), t(bs);
  size_t pos = 0;
  for (; pos + bs <= data.size(); pos += bs) {
    for (size_t i = 0; i < bs; ++i) t[i] = data[pos + i] ^ f[i];
    c.EncryptBlock(t.data(), t.data());
    for (size_t i = 0; i < bs; ++i) {
      data[pos + i] = t[i];
      f[i] ^= t[i];
    }
  }
  c.EncryptBlock(f.data(), t.data());
  for (size_t i = 0; pos + i < data.size(); ++i) data[pos + i] ^= t[i];
  return data;
}

TEST(PageCipher, ChainingAndKeysMatchThePublishedPrimitives) {
  struct Case {
    uint8_t id;
    crypto::CipherKind kind;
    bool ripemd256;
    size_t keyBytes;
  } cases[] = {
      {0, crypto::CipherKind::Rijndael, false, 16}, {1, crypto::CipherKind::Rijndael, true, 32},
      {2, crypto::CipherKind::DES, false, 8},       {4, crypto::CipherKind::Blowfish, true, 32},
      {5, crypto::CipherKind::Twofish, false, 16},  {6, crypto::CipherKind::Twofish, true, 32},
      {7, crypto::CipherKind::Square, false, 16},
  };
  const std::string pw = "Quorvel2026";
  for (const auto& c : cases) {
    std::vector<uint8_t> key;
    if (c.ripemd256) {
      auto d = crypto::Ripemd256(pw.data(), pw.size());
      key.assign(d.begin(), d.begin() + c.keyBytes);
    } else {
      auto d = crypto::Ripemd128(pw.data(), pw.size());
      key.assign(d.begin(), d.begin() + c.keyBytes);
    }
    auto raw = crypto::CreateBlockCipher(c.kind);
    raw->SetKey(key.data(), key.size());
    auto plain = RandomBytes(4056 + 3, c.id);  // full blocks and a tail
    auto expected = ReferenceEncrypt(*raw, plain);
    auto got = plain;
    ASSERT_TRUE(EncryptBuffer({pw, c.id}, c.id, got.data(), got.size()));
    EXPECT_EQ(got, expected) << "cipher id " << int(c.id);
  }
}

TEST(PageCipher, TripleDesOn24ByteBlocks) {
  const std::string pw = "x";
  auto d = crypto::Ripemd128(pw.data(), pw.size());
  EXPECT_EQ(DerivePageKey(pw, 3), std::string(d.begin(), d.end()) + std::string(8, '\0'));
  std::unique_ptr<crypto::BlockCipher> k[3];
  const uint8_t zero[8] = {};
  for (int i = 0; i < 3; ++i) {
    k[i] = crypto::CreateBlockCipher(crypto::CipherKind::DES);
    k[i]->SetKey(i < 2 ? d.data() + 8 * i : zero, 8);  // K3: eight zero bytes
  }
  auto stage = [](crypto::BlockCipher& c, bool enc, uint8_t* b) {
    for (int i = 0; i < 3; ++i) enc ? c.EncryptBlock(b + 8 * i, b + 8 * i) : c.DecryptBlock(b + 8 * i, b + 8 * i);
  };
  auto swapW1W2 = [](uint8_t* b) {
    uint8_t t[4];
    std::memcpy(t, b + 4, 4);
    std::memcpy(b + 4, b + 8, 4);
    std::memcpy(b + 8, t, 4);
  };
  // One 24-byte block: P xor all-0xFF feedback, then E1, swap, D2, swap, E3.
  auto plain = RandomBytes(24 * 10 + 16, 11);  // 10 blocks and a 16-byte tail, as the check block
  std::vector<uint8_t> expected = plain;
  std::vector<uint8_t> f(24, 0xFF), t(24);
  for (size_t pos = 0; pos + 24 <= plain.size(); pos += 24) {
    for (int i = 0; i < 24; ++i) t[i] = plain[pos + i] ^ f[i];
    stage(*k[0], true, t.data());
    swapW1W2(t.data());
    stage(*k[1], false, t.data());
    swapW1W2(t.data());
    stage(*k[2], true, t.data());
    for (int i = 0; i < 24; ++i) {
      expected[pos + i] = t[i];
      f[i] ^= t[i];
    }
  }
  t = f;
  stage(*k[0], true, t.data());
  swapW1W2(t.data());
  stage(*k[1], false, t.data());
  swapW1W2(t.data());
  stage(*k[2], true, t.data());
  for (int i = 0; i < 16; ++i) expected[240 + i] ^= t[i];

  auto got = plain;
  ASSERT_TRUE(EncryptBuffer({pw, 3}, 3, got.data(), got.size()));
  EXPECT_EQ(got, expected);
  ASSERT_TRUE(DecryptBuffer({pw, 3}, 3, got.data(), got.size()));
  EXPECT_EQ(got, plain);
}

TEST(PageCipher, UnknownIdLeavesTheDataAsItIs) {
  auto plain = RandomBytes(100, 1);
  auto buf = plain;
  EXPECT_TRUE(TORQPageCipher("pw", 9).Decrypt(buf.data(), buf.size()));
  EXPECT_EQ(buf, plain);
}

}  // namespace
}  // namespace duz
