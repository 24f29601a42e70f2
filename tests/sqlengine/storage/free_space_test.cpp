// Allocation maps: where PFS and EAM pages sit, what they cover, and page
// allocation, freeing, growth and shrinking over an in-memory page store.
#include <gtest/gtest.h>

#include "sqlengine/orq_exception.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "sqlengine/storage/byte_order.h"
#include "sqlengine/storage/free_space_manager.h"
#include "sqlengine/storage/page_header.h"
#include "sqlengine/storage/page_types.h"

namespace duz {
namespace {

TEST(FreeSpaceMap, CoverageForPageSize16224With64PagesPerExtent) {
  TORQFreeSpaceMap m(16224, 64);
  EXPECT_EQ(m.DataSize(), 16184);
  EXPECT_EQ(m.PagesPerPfs(), 129472);
  EXPECT_EQ(m.PagesPerEam(), 4143104);
  EXPECT_TRUE(m.IsPfsPage(0));
  EXPECT_TRUE(m.IsEamPage(1));
  EXPECT_TRUE(m.IsPfsPage(129472));
  EXPECT_FALSE(m.IsMapPage(129473));
  // 4143104 = 32 PFS spans: EAM page 1 follows that PFS page.
  EXPECT_TRUE(m.IsPfsPage(4143104));
  EXPECT_EQ(m.EamPageNo(1), 4143105);
  EXPECT_TRUE(m.IsEamPage(4143105));
  EXPECT_FALSE(m.IsMapPage(2));
  EXPECT_FALSE(m.IsMapPage(129471));
  // Page p's bit: byte (r div 8), bit (r mod 8), r = p mod 8D.
  EXPECT_EQ(m.PfsPageOf(129472 + 19), 129472);
  EXPECT_EQ(m.PfsByteOf(129472 + 19), 2);
  EXPECT_EQ(m.PfsBitOf(129472 + 19), 3);
  // Extent x's pair: byte (x mod 4D) div 4, bits 2(x mod 4).
  EXPECT_EQ(m.ExtentOf(64 * 7 + 5), 7);
  EXPECT_EQ(m.EamByteOf(7), 1);
  EXPECT_EQ(m.EamShiftOf(7), 6);
  EXPECT_EQ(m.EamPageOfExtent(4 * 16184), 4143105);
}

TEST(FreeSpaceMap, EamPagesBetweenPfsPagesWhenExtentSizeIsOdd) {
  // D = 24: PFS every 192 pages; 5 pages per extent: EAM every 480 pages.
  TORQFreeSpaceMap m(64, 5);
  EXPECT_TRUE(m.IsEamPage(480));
  EXPECT_FALSE(m.IsPfsPage(480));
  EXPECT_TRUE(m.IsPfsPage(960));
  EXPECT_TRUE(m.IsEamPage(961));
  EXPECT_FALSE(m.IsMapPage(481));
  EXPECT_FALSE(m.IsMapPage(193));
}

// Map pages kept in memory; other pages only exist as a count.
class MemoryStore : public TORQMapPageStore {
 public:
  explicit MemoryStore(uint16_t pageSize) : pageSize_(pageSize) {}
  void ReadMapPage(int32_t pageNo, uint8_t* buffer) override {
    auto it = pages_.find(pageNo);
    ASSERT_NE(it, pages_.end()) << "map page " << pageNo << " was never written";
    std::copy(it->second.begin(), it->second.end(), buffer);
  }
  void WriteMapPage(int32_t pageNo, const uint8_t* buffer) override {
    EXPECT_LT(pageNo, total_);
    pages_[pageNo].assign(buffer, buffer + pageSize_);
  }
  void SetPageCount(int32_t total) override {
    total_ = total;
    for (auto it = pages_.begin(); it != pages_.end();) it = it->first >= total ? pages_.erase(it) : std::next(it);
    counts.push_back(total);
  }
  void MarkPageFreed(int32_t pageNo) override { freed.push_back(pageNo); }
  const std::vector<uint8_t>& Page(int32_t n) { return pages_.at(n); }
  bool Has(int32_t n) const { return pages_.count(n) != 0; }

  std::vector<int32_t> counts;
  std::vector<int32_t> freed;

 private:
  uint16_t pageSize_;
  int32_t total_ = 0;
  std::map<int32_t, std::vector<uint8_t>> pages_;
};

struct Fixture {
  Fixture(uint16_t pageSize, uint16_t extent) : store(pageSize) {
    header.PageSize = pageSize;
    header.PagesPerExtent = extent;
    fsm = std::make_unique<TORQDatabaseFreeSpaceManager>(store, header);
  }
  MemoryStore store;
  TORQMainHeader header;
  std::unique_ptr<TORQDatabaseFreeSpaceManager> fsm;
};

TEST(FreeSpaceManager, FirstAllocationLaysDownTheMapsAndGivesPage2) {
  Fixture f(4096, 8);
  EXPECT_EQ(f.fsm->AllocatePage(), 2);
  EXPECT_EQ(f.header.TotalPageCount, 6);
  EXPECT_EQ(f.header.HighestPageInUse, 2);
  const auto& pfs = f.store.Page(0);
  const auto& eam = f.store.Page(1);
  EXPECT_EQ(TORQPageHeader(const_cast<uint8_t*>(pfs.data())).PageType(), ptPFS);
  EXPECT_EQ(TORQPageHeader(const_cast<uint8_t*>(eam.data())).PageType(), ptEAM);
  EXPECT_EQ(pfs[40], 0x07) << "pages 0, 1, 2 used";
  EXPECT_EQ(eam[40], 0x01) << "extent 0 partly used";
  EXPECT_EQ(f.fsm->AllocatePage(), 3);
  EXPECT_TRUE(f.fsm->Check().empty());
}

TEST(FreeSpaceManager, MapPagesAreNeverHandedOutAcrossManyGroups) {
  // Small pages so that several PFS and EAM pages are needed: D = 24,
  // PFS every 192 pages, EAM every 480 (and at 961 after the PFS at 960).
  Fixture f(64, 5);
  TORQFreeSpaceMap m(64, 5);
  std::set<int32_t> got;
  for (int i = 0; i < 1500; ++i) {
    int32_t p = f.fsm->AllocatePage();
    ASSERT_FALSE(m.IsMapPage(p)) << p;
    ASSERT_TRUE(got.insert(p).second) << "page " << p << " handed out twice";
    ASSERT_LT(p, f.header.TotalPageCount);
  }
  for (int32_t p = 0; p < f.header.TotalPageCount; ++p) {
    if (m.IsPfsPage(p)) {
      EXPECT_EQ(le::GetU16(f.store.Page(p).data() + 8), ptPFS) << p;
    }
    if (m.IsEamPage(p)) {
      EXPECT_EQ(le::GetU16(f.store.Page(p).data() + 8), ptEAM) << p;
    }
  }
  EXPECT_TRUE(f.store.Has(961));
  auto problems = f.fsm->Check();
  EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
  // Pages are handed out densely: every non-map page below the highest is used.
  EXPECT_EQ(*got.rbegin(), f.header.HighestPageInUse);
  for (int32_t p = 0; p <= f.header.HighestPageInUse; ++p)
    if (!m.IsMapPage(p)) {
      EXPECT_TRUE(got.count(p)) << p;
    }
}

TEST(FreeSpaceManager, FreedPagesAreReusedAndMapPagesRefused) {
  Fixture f(64, 5);
  std::vector<int32_t> pages;
  for (int i = 0; i < 300; ++i) pages.push_back(f.fsm->AllocatePage());
  f.fsm->FreePage(pages[10]);
  f.fsm->FreePage(pages[200]);
  EXPECT_EQ(f.store.freed, (std::vector<int32_t>{pages[10], pages[200]}));
  EXPECT_FALSE(f.fsm->IsPageUsed(pages[10]));
  std::set<int32_t> reused{f.fsm->AllocatePage(), f.fsm->AllocatePage()};
  EXPECT_EQ(reused, (std::set<int32_t>{pages[10], pages[200]}));
  EXPECT_TRUE(f.fsm->Check().empty());

  struct Case {
    int32_t page;
    int error;
  } cases[] = {{0, 30434}, {1, 30434}, {192, 30434}, {pages[5], 0}, {pages[5], 30427}, {100000, 30431}};
  for (const auto& c : cases) {
    if (c.error == 0) {
      f.fsm->FreePage(c.page);
      continue;
    }
    try {
      f.fsm->FreePage(c.page);
      ADD_FAILURE() << "freeing " << c.page << " succeeded";
    } catch (const EORQException& e) {
      EXPECT_EQ(e.NativeError(), c.error) << e.what();
    }
  }
}

TEST(FreeSpaceManager, GrowthAndShrinkAmounts) {
  Fixture f(4096, 8);
  std::vector<int32_t> pages;
  for (int i = 0; i < 4; ++i) pages.push_back(f.fsm->AllocatePage());  // 2..5
  EXPECT_EQ(f.header.TotalPageCount, 6);
  pages.push_back(f.fsm->AllocatePage());  // grows by max(6/10, 8) = 8
  EXPECT_EQ(f.header.TotalPageCount, 14);
  while (f.header.TotalPageCount < 200) pages.push_back(f.fsm->AllocatePage());
  // ... 179 + 17 = 196, 196 + 19 = 215
  EXPECT_EQ(f.header.TotalPageCount, 215);
  const int32_t before = f.header.TotalPageCount;
  // Free from the top: the file shrinks once max(total/10, E) = 20 pages lie
  // beyond the highest page in use, by the largest multiple of that amount.
  int32_t shrinks = 0;
  while (pages.size() > 100) {
    int32_t last = f.header.TotalPageCount;
    f.fsm->FreePage(pages.back());
    pages.pop_back();
    if (f.header.TotalPageCount != last) {
      ++shrinks;
      int32_t step = std::max(last / 10, 8);
      EXPECT_EQ((last - f.header.TotalPageCount) % step, 0);
      EXPECT_GT(f.header.TotalPageCount - 1 - f.header.HighestPageInUse, -1);
      EXPECT_LT(f.header.TotalPageCount - 1 - f.header.HighestPageInUse, step);
    }
  }
  EXPECT_GT(shrinks, 0);
  EXPECT_LT(f.header.TotalPageCount, before);
  EXPECT_EQ(f.header.HighestPageInUse, pages.back());
  EXPECT_TRUE(f.fsm->Check().empty());
  f.fsm->Truncate();
  EXPECT_EQ(f.header.TotalPageCount, f.header.HighestPageInUse + 1);
  // Growth after the cut lays the maps down again where needed.
  for (int i = 0; i < 50; ++i) f.fsm->AllocatePage();
  EXPECT_TRUE(f.fsm->Check().empty());
}

TEST(FreeSpaceManager, ShrinkBelowAnEamPageAndGrowAgain) {
  // Cut the file right after the PFS page at 960 so that EAM page 2 (961)
  // goes; growing again must recreate it and keep the maps consistent.
  Fixture f(64, 5);
  std::vector<int32_t> pages;
  while (f.header.TotalPageCount < 1100) pages.push_back(f.fsm->AllocatePage());
  // The last extent group is searched first, so numbers do not come in order.
  std::sort(pages.begin(), pages.end());
  while (!pages.empty() && pages.back() > 959) {
    f.fsm->FreePage(pages.back());
    pages.pop_back();
  }
  EXPECT_EQ(f.header.HighestPageInUse, 959);
  f.fsm->Truncate();
  EXPECT_EQ(f.header.TotalPageCount, 960);
  EXPECT_FALSE(f.store.Has(961));
  for (int i = 0; i < 200; ++i) {
    int32_t p = f.fsm->AllocatePage();
    ASSERT_FALSE(TORQFreeSpaceMap(64, 5).IsMapPage(p));
  }
  EXPECT_TRUE(f.store.Has(960));
  EXPECT_TRUE(f.store.Has(961));
  auto problems = f.fsm->Check();
  EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
}

TEST(FreeSpaceManager, WrongMapPageTypeIsReported) {
  Fixture f(4096, 8);
  f.fsm->AllocatePage();
  std::vector<uint8_t> pfs = f.store.Page(0);
  le::PutU16(pfs.data() + 8, ptTableRecord);
  f.store.WriteMapPage(0, pfs.data());
  try {
    f.fsm->AllocatePage();
    FAIL();
  } catch (const EORQException& e) {
    EXPECT_NE(std::string(e.what()).find("Wrong page type. Found 'TableRecord Page', but expecting: 'PFS Page'"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace duz
