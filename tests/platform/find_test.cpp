#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/file.h"
#include "support/temp_dir.h"

namespace duz::os {
namespace {

TEST(MatchesMask, WindowsWildcardRules) {
  struct Case {
    const char* name;
    const char* mask;
    bool match;
  } cases[] = {
      {"DBEX_2019.FDB", "DBEX_20*.FDB", true},
      {"dbex_2020.fdb", "DBEX_20*.FDB", true},
      {"DBEX_20.FDB", "DBEX_20*.FDB", true},
      {"DBEX_19.FDB", "DBEX_20*.FDB", false},
      {"DBEX_2019.FDB.bak", "DBEX_20*.FDB", false},
      {"anything", "*.*", true},
      {"a.b.c", "*.*", true},
      {"noext", "*", true},
      {"ab.txt", "?.txt", false},
      {"a.txt", "?.txt", true},
      {"ab.txt", "??.TXT", true},
      {"abc.txt", "??.txt", false},
      {"README", "*.", true},
      {"read.me", "*.", false},
      {"README", "README.", true},
      {"DBEX", "DBEX.*", true},
      {"DBEX.FDB", "DBEX.*", true},
      {"DBEXX", "DBEX.*", false},
      {"Esp\xE8"
       "ce.txt",
       "ESP\xC8"
       "CE.TXT",
       true},  // Windows-1252 letters fold too
      {"a*b", "a*b", true},
      {"aXbYb", "a*b", true},
      {"aXbYc", "a*b", false},
      {"x", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
}

class FindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"DBEX_2019.FDB", "dbex_2020.fdb", "DBEX_1999.FDB", "README", "a.txt", "ab.txt", ".hidden"})
      std::ofstream(dir_ / f) << "12345";
    std::filesystem::create_directory(dir_.path() / "Sub.dir");
    ::chmod((dir_ / "a.txt").c_str(), 0444);
  }
  std::vector<std::string> Find(const std::string& mask, uint32_t attr) {
    std::vector<std::string> names;
    SearchRec rec;
    int rc = FindFirst(dir_.str() + "\\" + mask, attr, rec);
    while (rc == 0) {
      names.push_back(rec.Name);
      rc = FindNext(rec);
    }
    EXPECT_TRUE(rc == 2 || rc == 18) << rc;
    FindClose(rec);
    return names;
  }
  test::TempDir dir_;
};

TEST_F(FindTest, MasksAndAttributeFilters) {
  using V = std::vector<std::string>;
  struct Case {
    const char* mask;
    uint32_t attr;
    V names;
  } cases[] = {
      {"DBEX_20*.FDB", faAnyFile, {"DBEX_2019.FDB", "dbex_2020.fdb"}},
      {"*.*", 0, {"a.txt", "ab.txt", "DBEX_1999.FDB", "DBEX_2019.FDB", "dbex_2020.fdb", "README"}},
      {"*.*",
       faAnyFile,
       {".hidden", "a.txt", "ab.txt", "DBEX_1999.FDB", "DBEX_2019.FDB", "dbex_2020.fdb", "README", "Sub.dir"}},
      {"*", faDirectory, {"a.txt", "ab.txt", "DBEX_1999.FDB", "DBEX_2019.FDB", "dbex_2020.fdb", "README", "Sub.dir"}},
      {"*", faHidden, {".hidden", "a.txt", "ab.txt", "DBEX_1999.FDB", "DBEX_2019.FDB", "dbex_2020.fdb", "README"}},
      {"?.txt", faAnyFile, {"a.txt"}},
      {"*.", faAnyFile, {"README"}},
      {"*.none", faAnyFile, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Find(c.mask, c.attr), c.names) << c.mask << " attr " << c.attr;
}

TEST_F(FindTest, ReportsAttributesSizeAndTime) {
  SearchRec rec;
  ASSERT_EQ(FindFirst(dir_.str() + "\\A.TXT", faAnyFile, rec), 0);
  EXPECT_EQ(rec.Name, "a.txt");
  EXPECT_EQ(rec.Attr, faReadOnly | faArchive);
  EXPECT_EQ(rec.Size, 5u);
  EXPECT_NEAR(static_cast<double>(rec.Time), static_cast<double>(std::time(nullptr)), 60);
  EXPECT_EQ(FindNext(rec), 18);
  FindClose(rec);
  ASSERT_EQ(FindFirst(dir_.str() + "/sub.DIR", faDirectory, rec), 0);
  EXPECT_EQ(rec.Attr, faDirectory);
  FindClose(rec);
}

TEST_F(FindTest, MissingFolderAndNoMatch) {
  SearchRec rec;
  EXPECT_EQ(FindFirst(dir_.str() + "\\NoSuchDir\\*.*", faAnyFile, rec), 3);
  EXPECT_EQ(FindFirst(dir_.str() + "\\*.xyz", faAnyFile, rec), 2);
  EXPECT_EQ(rec.pending, nullptr);
  FindClose(rec);
}

}  // namespace
}  // namespace duz::os
