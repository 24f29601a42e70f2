// Raising engine errors: each raise site passes its own native number.
#pragma once

#include <string_view>

#include "sqlengine/orq_exception.h"

namespace duz {

// A message without arguments (number zero-padded).
[[noreturn]] void RaiseORQ(int nativeError, std::string_view text);
// A printf-style template with arguments (number right-aligned).
[[noreturn]] void RaiseORQFmt(int nativeError, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

}  // namespace duz
