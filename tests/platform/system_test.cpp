#include "platform/system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <thread>

#include "child_process.h"

namespace duz::os {
namespace {

bool Has(const std::vector<std::string>& names, const std::string& n) {
  return std::find(names.begin(), names.end(), n) != names.end();
}

TEST(System, AvailableMemoryIsWithinThePhysicalMemory) {
  uint64_t avail = AvailablePhysicalMemory();
  uint64_t total = static_cast<uint64_t>(::sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  EXPECT_GT(avail, 0u);
  EXPECT_LE(avail, total);
}

TEST(System, ProcessListHoldsThisProcessByItsNames) {
  auto list = ListProcesses();
  auto self = std::find_if(list.begin(), list.end(), [](const ProcessEntry& p) { return p.Pid == ::getpid(); });
  ASSERT_NE(self, list.end());
  EXPECT_TRUE(Has(self->Names, "platform_tests"));  // comm and the exe's file name
  EXPECT_EQ(std::count(self->Names.begin(), self->Names.end(), "platform_tests"), 2);
  EXPECT_TRUE(Has(self->Names, program_invocation_name));  // argv[0] as given
}

TEST(System, ProcessListKeepsAWindowsStyleArgv0AsGiven) {
  test::ChildProcess child("C:\\Quorvel\\Quorvel.exe");
  ASSERT_EQ(child.Call("close"), "ok");  // the child is up
  auto list = ListProcesses();
  auto it = std::find_if(list.begin(), list.end(), [&](const ProcessEntry& p) { return p.Pid == child.Pid(); });
  ASSERT_NE(it, list.end());
  EXPECT_TRUE(Has(it->Names, "C:\\Quorvel\\Quorvel.exe"));
  EXPECT_TRUE(Has(it->Names, "platform_tests"));
}

TEST(System, RandomStaysInItsRangeAndCoversIt) {
  EXPECT_EQ(Random(0), 0u);
  EXPECT_EQ(Random(1), 0u);
  std::set<uint32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    uint32_t v = Random(10);
    ASSERT_LT(v, 10u);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 10u);
  EXPECT_LE(Random(UINT32_MAX), UINT32_MAX - 1);
}

TEST(System, RandomDiffersBetweenThreads) {
  uint32_t a = 0, b = 0;
  std::thread ta([&] { a = Random(UINT32_MAX); });
  std::thread tb([&] { b = Random(UINT32_MAX); });
  ta.join();
  tb.join();
  EXPECT_NE(a, b);  // equal with probability 2^-32
}

TEST(System, SleepAdvancesTheTickCount) {
  uint64_t t0 = TickCount();
  Sleep(30);
  uint64_t t1 = TickCount();
  EXPECT_GE(t1 - t0, 30u);
}

TEST(Guid, TextFormReadsTheFirstGroupsLittleEndian) {
  Guid g = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0xEF};
  EXPECT_EQ(GuidToString(g), "{03020100-0504-0706-0809-0A0B0C0D0EEF}");
}

TEST(Guid, NewGuidsAreVersion4AndUnique) {
  // {XXXXXXXX-XXXX-4XXX-vXXX-XXXXXXXXXXXX}, v one of 8 9 A B, upper-case hex.
  auto wellFormed = [](const std::string& s) {
    if (s.size() != 38 || s.front() != '{' || s.back() != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
      bool dash = i == 9 || i == 14 || i == 19 || i == 24;
      char c = s[i];
      if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return s[15] == '4' && std::string("89AB").find(s[20]) != std::string::npos;
  };
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string s = GuidToString(CreateGuid());
    EXPECT_TRUE(wellFormed(s)) << s;
    seen.insert(s);
  }
  EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
}  // namespace duz::os
