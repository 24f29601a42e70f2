#pragma once

#include "platform/error.h"

namespace duz {

// Archive component failure with its numeric error code; the message is
// already complete (component name, text, native error suffix).
class EZKException : public Exception {
 public:
  EZKException(int code, std::string message) : Exception(std::move(message)), code_(code) {}
  int Code() const noexcept { return code_; }

 private:
  int code_;
};

}  // namespace duz
