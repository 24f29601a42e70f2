// Whole-buffer compression with the engine's algorithm ids (0 none,
// 1 "ZLIB", 2 "BZIP", 3 "PPM"). Used by internal files and temporary data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace duz {

constexpr uint8_t kCompressionNone = 0;
constexpr uint8_t kCompressionZlib = 1;
constexpr uint8_t kCompressionBzip = 2;
constexpr uint8_t kCompressionPpm = 3;

// nullopt when the algorithm failed or is not available.
std::optional<std::string> CompressBuffer(uint8_t algorithm, int mode, const std::string& in);
// nullopt unless exactly outSize bytes come out.
std::optional<std::string> DecompressBuffer(uint8_t algorithm, const std::string& in, size_t outSize);

}  // namespace duz
