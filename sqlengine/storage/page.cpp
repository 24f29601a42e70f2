#include "sqlengine/storage/page.h"

#include "sqlengine/storage/orq_raise.h"

namespace duz {

TORQPage::TORQPage(TORQPageManager* manager, uint16_t pageSize, uint16_t headerSize)
    : manager_(manager), pageSize_(pageSize), headerSize_(headerSize) {}

void TORQPage::AllocateBuffer() {
  if (buffer_) return;
  owned_.assign(pageSize_, 0);
  buffer_ = owned_.data();
}

void TORQPage::AttachBuffer(uint8_t* buffer) {
  owned_.clear();
  owned_.shrink_to_fit();
  buffer_ = buffer;
}

void TORQPage::ResizeBuffer(size_t size) {
  if (size < pageSize_) RaiseORQ(20039, "Invalid page modification");
  if (!OwnsBuffer()) {
    std::vector<uint8_t> copy(size, 0);
    if (buffer_) std::copy(buffer_, buffer_ + pageSize_, copy.begin());
    owned_ = std::move(copy);
  } else {
    owned_.resize(size, 0);
  }
  buffer_ = owned_.data();
}

uint8_t* TORQPage::Buffer() const {
  if (!buffer_) RaiseORQ(20038, "Invalid page buffer. Buffer is Nil");
  return buffer_;
}

TORQPageValidation* TORQPage::Validation(int32_t sessionId) {
  size_t i = static_cast<size_t>(sessionId + 2);
  if (sessionId < -2 || i >= validation_.size()) return nullptr;
  return &validation_[i];
}

void TORQPage::SetValidation(int32_t sessionId, int32_t tableVersion) {
  if (sessionId < -2) return;
  size_t i = static_cast<size_t>(sessionId + 2);
  if (i >= validation_.size()) validation_.resize(i + 1);
  validation_[i] = {tableVersion, true};
}

}  // namespace duz
