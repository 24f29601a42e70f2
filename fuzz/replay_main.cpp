// Driver for fuzz targets when libFuzzer is not available (g++ builds): runs
// every file given (or every file of a given folder) through the target, then
// random byte-level mutations of them for --seconds=N. Used as a smoke test;
// real campaigns build the same targets with clang and -fsanitize=fuzzer.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
using Bytes = std::vector<uint8_t>;

void collect(const std::filesystem::path& p, std::vector<Bytes>& out) {
  if (std::filesystem::is_directory(p)) {
    for (const auto& e : std::filesystem::recursive_directory_iterator(p))
      if (e.is_regular_file()) collect(e.path(), out);
    return;
  }
  std::ifstream in(p, std::ios::binary);
  out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes mutate(Bytes b, std::mt19937& rng) {
  std::uniform_int_distribution<int> op(0, 4);
  int n = 1 + static_cast<int>(rng() % 8);
  for (int i = 0; i < n; ++i) {
    size_t pos = b.empty() ? 0 : rng() % b.size();
    switch (op(rng)) {
      case 0: if (!b.empty()) b[pos] = static_cast<uint8_t>(rng()); break;
      case 1: if (!b.empty()) b[pos] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
      case 2: b.insert(b.begin() + static_cast<long>(pos), static_cast<uint8_t>(rng())); break;
      case 3: if (!b.empty()) b.erase(b.begin() + static_cast<long>(pos)); break;
      default: if (b.size() > 4) b.resize(rng() % b.size()); break;
    }
  }
  return b;
}
}  // namespace

int main(int argc, char** argv) {
  double seconds = 0;
  std::vector<Bytes> corpus;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--seconds=", 0) == 0) seconds = std::stod(a.substr(10));
    else collect(a, corpus);
  }
  if (corpus.empty()) corpus.push_back({});
  for (const auto& c : corpus) LLVMFuzzerTestOneInput(c.data(), c.size());
  std::mt19937 rng(12345);
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  size_t runs = corpus.size();
  while (std::chrono::steady_clock::now() < end) {
    Bytes m = mutate(corpus[rng() % corpus.size()], rng);
    LLVMFuzzerTestOneInput(m.data(), m.size());
    ++runs;
  }
  std::printf("replayed %zu inputs\n", runs);
  return 0;
}
