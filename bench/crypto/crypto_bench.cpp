// Throughput of the raw block ciphers, the hashes and the checksums on
// page-sized and larger buffers; zlib's crc32 runs alongside as the peer.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "crypto/block_cipher.h"
#include "crypto/crc32.h"
#include "crypto/hash.h"

namespace {

using duz::crypto::CipherKind;

std::vector<uint8_t> Buffer(size_t size) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  return data;
}

void CipherEncrypt(benchmark::State& state, CipherKind kind, size_t keyLength) {
  auto cipher = duz::crypto::CreateBlockCipher(kind);
  const auto key = Buffer(keyLength);
  cipher->SetKey(key.data(), key.size());
  auto data = Buffer(64 * 1024);
  const size_t block = cipher->BlockSize();
  for (auto _ : state) {
    for (size_t at = 0; at + block <= data.size(); at += block) cipher->EncryptBlock(&data[at], &data[at]);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void CipherDecrypt(benchmark::State& state, CipherKind kind, size_t keyLength) {
  auto cipher = duz::crypto::CreateBlockCipher(kind);
  const auto key = Buffer(keyLength);
  cipher->SetKey(key.data(), key.size());
  auto data = Buffer(64 * 1024);
  const size_t block = cipher->BlockSize();
  for (auto _ : state) {
    for (size_t at = 0; at + block <= data.size(); at += block) cipher->DecryptBlock(&data[at], &data[at]);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

// The engines set the key up afresh for every page, so its cost matters too.
void CipherKeySetup(benchmark::State& state, CipherKind kind, size_t keyLength) {
  auto cipher = duz::crypto::CreateBlockCipher(kind);
  const auto key = Buffer(keyLength);
  for (auto _ : state) {
    cipher->SetKey(key.data(), key.size());
    benchmark::ClobberMemory();
  }
}

#define DUZ_CIPHER_BENCH(label, kind, keyLength)                            \
  BENCHMARK_CAPTURE(CipherEncrypt, label, CipherKind::kind, keyLength);   \
  BENCHMARK_CAPTURE(CipherDecrypt, label, CipherKind::kind, keyLength);   \
  BENCHMARK_CAPTURE(CipherKeySetup, label, CipherKind::kind, keyLength)

DUZ_CIPHER_BENCH(Rijndael_128, Rijndael, 16);
DUZ_CIPHER_BENCH(Rijndael_256, Rijndael, 32);
DUZ_CIPHER_BENCH(DES, DES, 8);
DUZ_CIPHER_BENCH(Blowfish, Blowfish, 32);
DUZ_CIPHER_BENCH(Twofish, Twofish, 20);
DUZ_CIPHER_BENCH(Square, Square, 16);
DUZ_CIPHER_BENCH(Gost, Gost, 20);

void HashSha0(benchmark::State& state) {
  const auto data = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(duz::crypto::Sha0(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(HashSha0)->Arg(20)->Arg(1 << 20);

void HashRipemd128(benchmark::State& state) {
  const auto data = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(duz::crypto::Ripemd128(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(HashRipemd128)->Arg(8)->Arg(1 << 20);

void HashRipemd256(benchmark::State& state) {
  const auto data = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(duz::crypto::Ripemd256(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(HashRipemd256)->Arg(8)->Arg(1 << 20);

void CrcPageChecksum(benchmark::State& state) {
  const auto data = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(duz::crypto::PageChecksum(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(CrcPageChecksum)->Arg(4056)->Arg(1 << 20);

void CrcStandard(benchmark::State& state) {
  const auto data = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(duz::crypto::Crc32(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(CrcStandard)->Arg(4056)->Arg(1 << 20);

void CrcZlibPeer(benchmark::State& state) {
  const auto data = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, data.data(), static_cast<uInt>(data.size())));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(CrcZlibPeer)->Arg(4056)->Arg(1 << 20);

}  // namespace
