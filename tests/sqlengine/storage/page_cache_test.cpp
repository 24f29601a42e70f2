// The page cache over a database file: session isolation until commit,
// rollback, eviction, the commit protocol and the change counter.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "sqlengine/storage/disk_database_data.h"
#include "sqlengine/storage/page_types.h"
#include "storage_fixture.h"
#include "support/temp_dir.h"

namespace duz {
namespace {

using test::I32;
using test::NativeErrorOf;
using test::ReadAll;

class PageCache : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir / "cache.fdb";
    TORQDatabaseCreateParams p;
    p.Password = password;
    TORQDiskDatabaseData().CreateDatabase(path, p);
    db = std::make_unique<TORQDiskDatabaseData>();
    db->OpenDatabase(path, password, false, false, false);
  }
  TORQDiskPageManager& pm() { return db->Pages(); }
  // A committed record page holding text at the start of its data area.
  int32_t NewPage(int32_t session, const std::string& text) {
    TORQPage* p = pm().AddPage(session, ptTableRecord);
    std::memcpy(p->Data(), text.data(), text.size());
    int32_t n = p->PageNo;
    pm().ReleasePage(p);
    pm().CommitSession(session);
    return n;
  }
  std::string Text(int32_t session, int32_t pageNo, size_t n) {
    TORQPage* p = pm().GetPage(session, pageNo, true, ptTableRecord);
    std::string s(reinterpret_cast<char*>(p->Data()), n);
    pm().ReleasePage(p);
    return s;
  }
  void Change(int32_t session, int32_t pageNo, const std::string& text) {
    TORQPage* p = pm().GetPage(session, pageNo, true, ptTableRecord);
    std::memcpy(p->Data(), text.data(), text.size());
    p->Dirty = true;
    pm().ReleasePage(p);
  }

  TORQPassword password;
  test::TempDir dir;
  std::string path;
  std::unique_ptr<TORQDiskDatabaseData> db;
};

class EncryptedPageCache : public PageCache {
 public:
  EncryptedPageCache() { password = {"pw", 0}; }
};

TEST_F(PageCache, ChangesStayPrivateUntilCommit) {
  const int32_t n = NewPage(0, "original");
  Change(0, n, "changed!");
  EXPECT_EQ(Text(0, n, 8), "changed!");
  EXPECT_EQ(Text(1, n, 8), "original") << "another session reads the committed image";
  pm().CommitSession(0);
  EXPECT_EQ(Text(1, n, 8), "changed!");
  db->CloseDatabase();
  db->OpenDatabase(path, password, false, false, false);
  EXPECT_EQ(Text(1, n, 8), "changed!");
}

TEST_F(PageCache, RollbackDiscardsChangesAndFreesAllocatedPages) {
  const int32_t n = NewPage(0, "kept");
  Change(0, n, "lost");
  TORQPage* added = pm().AddPage(0, ptTableRecord);
  const int32_t fresh = added->PageNo;
  pm().ReleasePage(added);
  EXPECT_TRUE(pm().FreeSpace().IsPageUsed(fresh));
  pm().RollbackSession(0);
  EXPECT_FALSE(pm().FreeSpace().IsPageUsed(fresh));
  // Nothing beyond page n is used any more: the 8 grown pages are cut again.
  EXPECT_EQ(pm().GetTotalPageCount(), 6);
  EXPECT_EQ(pm().Header().HighestPageInUse, n);
  EXPECT_EQ(Text(0, n, 4), "kept");
  EXPECT_FALSE(pm().SessionHasChanges(0));
  EXPECT_TRUE(pm().FreeSpace().Check().empty());
}

TEST_F(PageCache, CommitWritesStateOneThenCountsAndRestoresTwo) {
  uint8_t stateDuringCommit = 0;
  int32_t counterBefore = I32(ReadAll(path), 38);
  pm().OnCommitStarted = [&] { stateDuringCommit = ReadAll(path)[42]; };
  NewPage(0, "x");
  EXPECT_EQ(stateDuringCommit, 1);
  auto b = ReadAll(path);
  EXPECT_EQ(b[42], 2);
  EXPECT_EQ(I32(b, 38), counterBefore + 1);
  // A session without changes writes nothing.
  stateDuringCommit = 0;
  pm().CommitSession(0);
  EXPECT_EQ(stateDuringCommit, 0);
}

TEST_F(PageCache, ChangeCounterWrapsAndFreedPagesAreMarked) {
  const int32_t n = NewPage(0, "w");
  TORQPage* p = pm().GetPage(0, n, true, ptTableRecord);
  p->Header().SetChangeCounter(0x7FFFFFFC);
  p->Dirty = true;
  pm().ReleasePage(p);
  pm().CommitSession(0);
  const size_t at = 380 + static_cast<size_t>(n) * 4096 + 4;
  EXPECT_EQ(I32(ReadAll(path), at), 0);
  Change(0, n, "v");
  pm().CommitSession(0);
  EXPECT_EQ(I32(ReadAll(path), at), 1);
  const int32_t m = NewPage(0, "tail");
  NewPage(0, "keeps the file from shrinking");
  pm().FreePage(0, m);
  pm().CommitSession(0);
  EXPECT_EQ(I32(ReadAll(path), 380 + static_cast<size_t>(m) * 4096 + 4), 0x7FFFFFFF);
  EXPECT_FALSE(pm().FreeSpace().IsPageUsed(m));
}

TEST_F(PageCache, EvictsTheOldestUnusedPagesBeyondCapacity) {
  std::vector<int32_t> pages;
  for (int i = 0; i < 40; ++i) pages.push_back(NewPage(0, "page" + std::to_string(100 + i)));
  pm().SetCacheCapacity(10);
  EXPECT_LE(pm().CachedPageCount(), 10u);
  for (int32_t n : pages) Text(1, n, 7);
  EXPECT_EQ(pm().CachedPageCount(), 10u);
  EXPECT_FALSE(pm().IsCached(pages[0]));
  EXPECT_TRUE(pm().IsCached(pages.back()));
  // Re-read on demand, with the right content.
  for (int i = 0; i < 40; ++i) EXPECT_EQ(Text(1, pages[i], 7), "page" + std::to_string(100 + i));
  // Pages in use are never evicted.
  std::vector<TORQPage*> held;
  for (int i = 0; i < 15; ++i) held.push_back(pm().GetPage(1, pages[i], true, ptTableRecord));
  for (int i = 0; i < 15; ++i) EXPECT_TRUE(pm().IsCached(pages[i])) << i;
  for (TORQPage* h : held) pm().ReleasePage(h);
  EXPECT_EQ(pm().CachedPageCount(), 10u);
  EXPECT_TRUE(pm().IsCached(pages[14]));
  EXPECT_FALSE(pm().IsCached(pages[4]));
  EXPECT_GT(DefaultPageCacheCapacity(), 0u);
  EXPECT_LE(DefaultPageCacheCapacity(), 1000u);
}

TEST_F(PageCache, RefusesMapPagesWrongTypesAndMisuse) {
  const int32_t n = NewPage(0, "t");
  EXPECT_EQ(NativeErrorOf([&] { pm().GetPage(0, 0, true, 255); }), 30434);
  EXPECT_EQ(NativeErrorOf([&] { pm().GetPage(0, 1, true, 255); }), 30434);
  EXPECT_EQ(NativeErrorOf([&] { pm().FreePage(0, 1); }), 30434);
  EXPECT_EQ(NativeErrorOf([&] { pm().GetPage(-1, n, true, 255); }), 20186);
  db->CloseDatabase();
  db->OpenDatabase(path, password, false, false, false);
  EXPECT_EQ(NativeErrorOf([&] { pm().GetPage(0, n, true, ptTableIndex); }), 20153);
  pm().ReleasePage(pm().AddPage(0, ptTableRecord));  // something to commit
  TORQPage* p = pm().GetPage(0, n, true, 255);
  EXPECT_EQ(NativeErrorOf([&] { pm().GetPage(1, n, true, 255); }), 20090);
  p->Dirty = true;
  EXPECT_EQ(NativeErrorOf([&] { pm().CommitSession(0); }), 20152);
  pm().ReleasePage(p);
  TORQPage* q = pm().GetPage(0, n, true, 255);
  EXPECT_EQ(NativeErrorOf([&] { pm().CommitSession(0); }), 20086);
  EXPECT_EQ(NativeErrorOf([&] { pm().RollbackSession(0); }), 20088);
  pm().ReleasePage(q);
  EXPECT_EQ(NativeErrorOf([&] { pm().CheckNoPendingPages(); }), 20097);
  pm().RollbackSession(0);
  pm().CheckNoPendingPages();
  EXPECT_EQ(NativeErrorOf([&] { TORQPage(nullptr, 4096, 40).Buffer(); }), 20038);
  TORQPage small(nullptr, 4096, 40);
  small.AllocateBuffer();
  EXPECT_EQ(NativeErrorOf([&] { small.ResizeBuffer(100); }), 20039);
}

TEST_F(EncryptedPageCache, CachedImagesStayPlainAndDamageIsDetected) {
  const int32_t n = NewPage(0, "secret text");
  EXPECT_EQ(Text(0, n, 11), "secret text");
  auto b = ReadAll(path);
  const size_t at = 380 + static_cast<size_t>(n) * 4096;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[at + 40]), 11).find("secret"), std::string::npos);
  EXPECT_EQ(b[at + 20], 0);
  b[at + 100] ^= 1;
  test::WriteAll(path, b);
  db->CloseDatabase();
  db->OpenDatabase(path, password, false, false, false);
  EXPECT_EQ(NativeErrorOf([&] { pm().GetPage(0, n, true, ptTableRecord); }), 30446);
  pm().SetNoChecks(true);
  TORQPage* p = pm().GetPage(0, n, true, ptTableRecord);
  pm().ReleasePage(p);
}

TEST(SortedPageList, OrderAndErrors) {
  TORQSortedPageList list;
  EXPECT_EQ(NativeErrorOf([&] { list.Delete(3); }), 20165);
  for (int32_t k : {50, 10, 30, 20, 40}) {
    auto p = std::make_unique<TORQPage>(nullptr, 64, 40);
    p->PageNo = k;
    list.Insert(std::move(p));
  }
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(list.At(i)->PageNo, static_cast<int32_t>(10 * (i + 1)));
  EXPECT_EQ(list.Find(30)->PageNo, 30);
  EXPECT_EQ(list.Find(35), nullptr);
  uint64_t before = list.StampAt(0);
  list.Touch(10);
  EXPECT_GT(list.StampAt(0), before);
  EXPECT_EQ(NativeErrorOf([&] { list.Touch(11); }), 20167);
  EXPECT_EQ(NativeErrorOf([&] { list.Delete(11); }), 20166);
  EXPECT_EQ(list.Delete(20)->PageNo, 20);
  EXPECT_EQ(list.Count(), 4u);
  EXPECT_GE(list.Capacity(), 1000u);
}

}  // namespace
}  // namespace duz
