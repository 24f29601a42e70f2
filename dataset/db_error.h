#pragma once

#include "platform/error.h"

namespace duz {

// The dataset framework's database error (EDatabaseError): raised by the
// framework itself and by the configuration store.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace duz
