#include "sqlengine/storage/orq_raise.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace duz {

void RaiseORQ(int nativeError, std::string_view text) { throw EORQException(text, nativeError, false); }

void RaiseORQFmt(int nativeError, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    text.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  throw EORQException(text, nativeError, true);
}

}  // namespace duz
