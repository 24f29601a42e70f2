#include "crypto/hash.h"

namespace duz::crypto {

Digest20 Sha0(const void* data, size_t length) {
  Sha0Hasher hasher;
  hasher.Update(data, length);
  return hasher.Final();
}

}  // namespace duz::crypto
