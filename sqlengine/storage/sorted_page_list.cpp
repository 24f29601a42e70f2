#include "sqlengine/storage/sorted_page_list.h"

#include <algorithm>

#include "sqlengine/storage/orq_raise.h"

namespace duz {

namespace {
constexpr size_t kMaxStep = 10000;
}

size_t TORQSortedPageList::LowerBound(int32_t pageNo) const {
  return static_cast<size_t>(std::lower_bound(keys_.begin(), keys_.end(), pageNo) - keys_.begin());
}

TORQPage* TORQSortedPageList::Find(int32_t pageNo) const {
  size_t i = LowerBound(pageNo);
  return i < keys_.size() && keys_[i] == pageNo ? entries_[i].Page.get() : nullptr;
}

void TORQSortedPageList::GrowIfFull() {
  if (keys_.size() < keys_.capacity()) return;
  size_t cap = keys_.capacity() + growStep_;
  keys_.reserve(cap);
  entries_.reserve(cap);
  growStep_ = std::min(growStep_ * 2, kMaxStep);
}

void TORQSortedPageList::ShrinkIfSparse() {
  if (keys_.capacity() - keys_.size() <= shrinkStep_) return;
  std::vector<int32_t>(keys_.begin(), keys_.end()).swap(keys_);
  std::vector<Entry> e;
  e.reserve(entries_.size());
  for (auto& x : entries_) e.push_back(std::move(x));
  entries_.swap(e);
  shrinkStep_ = std::min(shrinkStep_ * 2, kMaxStep);
}

TORQPage* TORQSortedPageList::Insert(std::unique_ptr<TORQPage> page) {
  const int32_t key = page->PageNo;
  size_t i = LowerBound(key);
  if (i < keys_.size() && keys_[i] == key) {  // replace a stale image of the same number
    entries_[i] = {std::move(page), ++stamp_};
    return entries_[i].Page.get();
  }
  GrowIfFull();
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(i), key);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(i), Entry{std::move(page), ++stamp_});
  return entries_[i].Page.get();
}

std::unique_ptr<TORQPage> TORQSortedPageList::Delete(int32_t pageNo) {
  if (keys_.empty()) RaiseORQ(20165, "TSortedPageList.Delete - no elements in array!");
  size_t i = LowerBound(pageNo);
  if (i >= keys_.size() || keys_[i] != pageNo)
    RaiseORQFmt(20166, "TSortedPageList.Delete - element not found, key = %d, itemCount = %d", pageNo,
                static_cast<int>(keys_.size()));
  std::unique_ptr<TORQPage> page = std::move(entries_[i].Page);
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(i));
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
  ShrinkIfSparse();
  return page;
}

void TORQSortedPageList::Touch(int32_t pageNo) {
  size_t i = LowerBound(pageNo);
  if (i >= keys_.size() || keys_[i] != pageNo) RaiseORQ(20167, "Page not found");
  entries_[i].Stamp = ++stamp_;
}

std::vector<std::unique_ptr<TORQPage>> TORQSortedPageList::TakeAll() {
  std::vector<std::unique_ptr<TORQPage>> out;
  out.reserve(entries_.size());
  for (auto& e : entries_) out.push_back(std::move(e.Page));
  keys_.clear();
  entries_.clear();
  ShrinkIfSparse();
  return out;
}

}  // namespace duz
