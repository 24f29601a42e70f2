// Helpers for storage tests on real database files.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sqlengine/orq_exception.h"

namespace duz::test {

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
inline int32_t I32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24));
}

// The native number of the EORQException fn raises, or 0 when none.
template <typename Fn>
int NativeErrorOf(Fn&& fn) {
  try {
    fn();
  } catch (const EORQException& e) {
    return e.NativeError();
  }
  return 0;
}

}  // namespace duz::test
