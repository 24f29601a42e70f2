#include "platform/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace duz {

EOSError::EOSError(int code, const std::string& what)
    : Exception(what + ": " + std::strerror(code) + " (" + std::to_string(code) + ")"), code_(code) {}

std::string FormatV(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    out.assign(buf.data(), static_cast<size_t>(n));
  }
  return out;
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = FormatV(fmt, args);
  va_end(args);
  return out;
}

std::string FormatNativeError(std::string_view text, int number, bool hasArguments) {
  char num[32];
  std::snprintf(num, sizeof num, hasArguments ? "%5d" : "%.5d", number);
  std::string out(text);
  out += " - Native error: ";
  out += num;
  return out;
}

}  // namespace duz
