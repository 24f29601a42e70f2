#include "sqlengine/storage/orq_raise.h"

#include <cstdarg>

namespace duz {

void RaiseORQ(int nativeError, std::string_view text) { throw EORQException(text, nativeError, false); }

void RaiseORQFmt(int nativeError, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatV(fmt, args);
  va_end(args);
  throw EORQException(text, nativeError, true);
}

}  // namespace duz
