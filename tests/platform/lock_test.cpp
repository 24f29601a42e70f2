#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace duz::os {
namespace {

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_ / "DB.FDB";
    File f = File::Open(path_, FileAccess::ReadWrite, FileShare::DenyNone, FileCreate::CreateNew);
    f.WriteAt(0, "0123456789", 10);
  }
  File OpenShared() { return File::Open(path_, FileAccess::ReadWrite, FileShare::DenyNone, FileCreate::OpenExisting); }

  test::TempDir dir_;
  std::string path_;
};

TEST_F(LockTest, SecondLockOfAHeldByteFailsOnTheSameHandle) {
  File f = OpenShared();
  EXPECT_TRUE(f.Lock(360, 1));
  EXPECT_FALSE(f.Lock(360, 1));
  EXPECT_FALSE(f.Lock(355, 10));  // overlaps
  EXPECT_TRUE(f.Lock(359, 1));    // the neighbour is free
  EXPECT_TRUE(f.Unlock(360, 1));
  EXPECT_TRUE(f.Lock(360, 1));
}

TEST_F(LockTest, LocksConflictBetweenHandlesOfOneProcess) {
  File a = OpenShared();
  File b = OpenShared();
  ASSERT_TRUE(a.Lock(100, 4));
  EXPECT_FALSE(b.Lock(103, 1));
  EXPECT_FALSE(b.Unlock(100, 4));  // not b's lock
  EXPECT_TRUE(b.Lock(104, 1));
  EXPECT_TRUE(a.Unlock(100, 4));
  EXPECT_TRUE(b.Lock(103, 1));
}

TEST_F(LockTest, UnlockNeedsExactlyTheHeldRange) {
  File f = OpenShared();
  EXPECT_FALSE(f.Unlock(10, 1));  // never locked
  ASSERT_TRUE(f.Lock(10, 4));
  EXPECT_FALSE(f.Unlock(10, 1));
  EXPECT_FALSE(f.Unlock(10, 5));
  EXPECT_TRUE(f.Unlock(10, 4));
  EXPECT_FALSE(f.Unlock(10, 4));  // already released
}

TEST_F(LockTest, ClosingAHandleReleasesOnlyItsLocks) {
  File a = OpenShared();
  File b = OpenShared();
  ASSERT_TRUE(a.Lock(1, 1));
  ASSERT_TRUE(b.Lock(2, 1));
  File c = OpenShared();
  c.Close();  // closing an unrelated handle of the same file keeps every lock
  EXPECT_FALSE(OpenShared().Lock(1, 1));
  a.Close();
  File d = OpenShared();
  EXPECT_TRUE(d.Lock(1, 1));
  EXPECT_FALSE(d.Lock(2, 1));
}

TEST_F(LockTest, LocksFollowAMovedHandle) {
  File a = OpenShared();
  ASSERT_TRUE(a.Lock(5, 1));
  File moved = std::move(a);
  EXPECT_FALSE(a.IsOpen());
  EXPECT_FALSE(moved.Lock(5, 1));
  EXPECT_TRUE(moved.Unlock(5, 1));
}

TEST_F(LockTest, ReadOnlyHandlesExcludeEachOther) {
  File a = File::Open(path_, FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting);
  File b = File::Open(path_, FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting);
  ASSERT_TRUE(a.Lock(1, 1));
  EXPECT_FALSE(b.Lock(1, 1));
}

TEST_F(LockTest, InvalidRangesAreRefused) {
  File f = OpenShared();
  EXPECT_FALSE(f.Lock(0, 0));
  EXPECT_FALSE(f.Lock(UINT64_MAX - 1, 4));
  File closed;
  EXPECT_FALSE(closed.Lock(0, 1));
  EXPECT_FALSE(closed.Unlock(0, 1));
}

TEST_F(LockTest, ThreadsWithTheirOwnHandlesNeverHoldAByteTogether) {
  std::atomic<int> holders{0}, maxHolders{0}, grants{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      File f = OpenShared();
      for (int i = 0; i < 500; ++i) {
        if (!f.Lock(360, 1)) continue;
        int now = ++holders;
        int seen = maxHolders.load();
        while (now > seen && !maxHolders.compare_exchange_weak(seen, now)) {
        }
        ++grants;
        --holders;
        EXPECT_TRUE(f.Unlock(360, 1));
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(maxHolders.load(), 1);
  EXPECT_GT(grants.load(), 0);
}

TEST_F(LockTest, LocksAreSeenByAnotherProcess) {
  test::ChildProcess child;
  ASSERT_EQ(child.Call("open " + path_ + " rw none"), "ok");
  File f = OpenShared();
  ASSERT_TRUE(f.Lock(360, 1));
  EXPECT_EQ(child.Call("lock 360 1"), "fail");
  EXPECT_EQ(child.Call("lock 359 1"), "ok");
  EXPECT_FALSE(f.Lock(359, 1));
  EXPECT_EQ(child.Call("lock 359 1"), "fail");  // the child's own handle too
  EXPECT_TRUE(f.Unlock(360, 1));
  EXPECT_EQ(child.Call("lock 360 1"), "ok");
  EXPECT_EQ(child.Call("unlock 360 1"), "ok");
  EXPECT_EQ(child.Call("unlock 360 1"), "fail");
}

TEST_F(LockTest, ClosingTheHandleReleasesItsLocksForOtherProcesses) {
  test::ChildProcess child;
  ASSERT_EQ(child.Call("open " + path_ + " rw none"), "ok");
  ASSERT_EQ(child.Call("lock 376 4"), "ok");
  File f = OpenShared();
  EXPECT_FALSE(f.Lock(377, 1));
  ASSERT_EQ(child.Call("close"), "ok");  // the child lives on; only its handle is gone
  EXPECT_TRUE(f.Lock(377, 1));
  ASSERT_EQ(child.Call("open " + path_ + " r none"), "ok");
  EXPECT_EQ(child.Call("lock 377 1"), "fail");
  EXPECT_EQ(child.Call("lock 376 1"), "ok");
  EXPECT_FALSE(f.Lock(376, 1));  // a read-only handle's lock still excludes
}

TEST_F(LockTest, LocksVanishWhenTheOtherProcessEnds) {
  {
    test::ChildProcess child;
    ASSERT_EQ(child.Call("open " + path_ + " rw none"), "ok");
    ASSERT_EQ(child.Call("lock 0 1"), "ok");
    File f = OpenShared();
    EXPECT_FALSE(f.Lock(0, 1));
  }  // waits for the child's end
  File f = OpenShared();
  EXPECT_TRUE(f.Lock(0, 1));
}

}  // namespace
}  // namespace duz::os
