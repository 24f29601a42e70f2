#include "sqlengine/storage/buffer_compression.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>

namespace duz {

std::optional<std::string> CompressBuffer(uint8_t algorithm, int mode, const std::string& in) {
  if (algorithm == kCompressionNone || in.empty()) return std::string();
  const int level = std::clamp(mode, 1, 9);
  if (algorithm == kCompressionZlib) {
    uLongf outLen = compressBound(static_cast<uLong>(in.size()));
    std::string out(outLen, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &outLen, reinterpret_cast<const Bytef*>(in.data()),
                  static_cast<uLong>(in.size()), level) != Z_OK)
      return std::nullopt;
    out.resize(outLen);
    return out;
  }
  if (algorithm == kCompressionBzip) {
    unsigned int outLen = static_cast<unsigned int>(in.size() + in.size() / 100 + 600);
    std::string out(outLen, '\0');
    std::string src = in;
    if (BZ2_bzBuffToBuffCompress(out.data(), &outLen, src.data(), static_cast<unsigned int>(src.size()), level, 0, 0) !=
        BZ_OK)
      return std::nullopt;
    out.resize(outLen);
    return out;
  }
  return std::nullopt;
}

std::optional<std::string> DecompressBuffer(uint8_t algorithm, const std::string& in, size_t outSize) {
  if (algorithm == kCompressionNone) return in.size() == outSize ? std::optional<std::string>(in) : std::nullopt;
  if (outSize == 0) return in.empty() ? std::optional<std::string>(std::string()) : std::nullopt;
  std::string out(outSize, '\0');
  if (algorithm == kCompressionZlib) {
    uLongf outLen = static_cast<uLongf>(outSize);
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &outLen, reinterpret_cast<const Bytef*>(in.data()),
                   static_cast<uLong>(in.size())) != Z_OK ||
        outLen != outSize)
      return std::nullopt;
    return out;
  }
  if (algorithm == kCompressionBzip) {
    unsigned int outLen = static_cast<unsigned int>(outSize);
    std::string src = in;
    if (BZ2_bzBuffToBuffDecompress(out.data(), &outLen, src.data(), static_cast<unsigned int>(src.size()), 0, 0) !=
            BZ_OK ||
        outLen != outSize)
      return std::nullopt;
    return out;
  }
  return std::nullopt;
}

}  // namespace duz
