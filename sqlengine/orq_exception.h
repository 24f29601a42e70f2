#pragma once

#include "platform/error.h"

namespace duz {

// An SQL-engine failure: message text with its " - Native error: NNNNN"
// suffix, and the engine error number by which callers recognise it.
class EORQException : public Exception {
 public:
  EORQException(std::string_view text, int nativeError, bool hasArguments = false)
      : Exception(FormatNativeError(text, nativeError, hasArguments)), nativeError_(nativeError) {}
  int NativeError() const noexcept { return nativeError_; }

 private:
  int nativeError_;
};

// Result codes of record operations (-1 ... -13) raised as errors.
class EORQEngineError : public Exception {
 public:
  EORQEngineError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
  int Code() const noexcept { return code_; }

 private:
  int code_;
};

}  // namespace duz
