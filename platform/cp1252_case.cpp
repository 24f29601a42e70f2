#include "platform/cp1252_case.h"

#include <array>

namespace duz::detail {
namespace {

struct Tables {
  std::array<unsigned char, 256> upper{}, lower{};
  constexpr Tables() {
    for (int c = 0; c < 256; ++c) upper[c] = lower[c] = static_cast<unsigned char>(c);
    auto pair = [this](int up, int low) {
      upper[low] = static_cast<unsigned char>(up);
      lower[up] = static_cast<unsigned char>(low);
    };
    for (int c = 'a'; c <= 'z'; ++c) pair(c - 32, c);
    for (int c = 0xE0; c <= 0xFE; ++c)
      if (c != 0xF7) pair(c - 32, c);
    pair(0x8A, 0x9A);  // S caron
    pair(0x8C, 0x9C);  // OE
    pair(0x8E, 0x9E);  // Z caron
    pair(0x9F, 0xFF);  // Y diaeresis
  }
};

constexpr Tables kTables;

}  // namespace

unsigned char AnsiUpperChar(unsigned char c) { return kTables.upper[c]; }
unsigned char AnsiLowerChar(unsigned char c) { return kTables.lower[c]; }

}  // namespace duz::detail
