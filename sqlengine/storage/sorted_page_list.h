// Pages sorted by page number, with a use stamp per entry for LRU eviction.
// Arrays grow and shrink in steps (1000 doubling up to 10000) so that
// lookups never allocate.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sqlengine/storage/page.h"

namespace duz {

class TORQSortedPageList {
 public:
  struct Entry {
    std::unique_ptr<TORQPage> Page;
    uint64_t Stamp = 0;
  };

  size_t Count() const { return keys_.size(); }
  size_t Capacity() const { return keys_.capacity(); }
  TORQPage* Find(int32_t pageNo) const;
  // Inserts (replacing nothing: the number must not be present) and stamps.
  TORQPage* Insert(std::unique_ptr<TORQPage> page);
  std::unique_ptr<TORQPage> Delete(int32_t pageNo);
  void Touch(int32_t pageNo);
  TORQPage* At(size_t index) const { return entries_[index].Page.get(); }
  uint64_t StampAt(size_t index) const { return entries_[index].Stamp; }
  // Removes every page, ascending, handing each to the caller.
  std::vector<std::unique_ptr<TORQPage>> TakeAll();

 private:
  // Index of the first key >= pageNo.
  size_t LowerBound(int32_t pageNo) const;
  void GrowIfFull();
  void ShrinkIfSparse();

  std::vector<int32_t> keys_;
  std::vector<Entry> entries_;
  uint64_t stamp_ = 0;
  size_t growStep_ = 1000;
  size_t shrinkStep_ = 1000;
};

}  // namespace duz
