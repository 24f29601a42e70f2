#pragma once

#include "platform/error.h"

namespace duz {

// Raised by cipher engines (bad key length, use before the key is set).
class EEncryptException : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace duz
