#include "platform/path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace duz::os {
namespace {

class ResolvePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.path() / "Ex_Data");
    std::filesystem::create_directories(dir_.path() / "Common");
    for (const char* f : {"Quorvel.EXE", "Ex_Data/DBEX_2019.FDB", "Common/WrkData.FDB", "scg.fnc"})
      std::ofstream(dir_ / f) << "x";
  }
  test::TempDir dir_;
};

TEST_F(ResolvePathTest, FindsEachComponentWithoutRegardToCase) {
  const std::string base = dir_.str();
  struct Case {
    std::string in, out;
  } cases[] = {
      {base + "\\quorvel.exe", base + "/Quorvel.EXE"},
      {base + "\\Quorvel.EXE", base + "/Quorvel.EXE"},
      {base + "\\EX_DATA\\dbex_2019.fdb", base + "/Ex_Data/DBEX_2019.FDB"},
      {base + "/common\\wrkdata.FDB", base + "/Common/WrkData.FDB"},
      {base + "\\\\Ex_Data\\\\", base + "/Ex_Data/"},
      // Missing components stay as written, so the result can name a new file.
      {base + "\\ex_data\\New.FDB", base + "/Ex_Data/New.FDB"},
      {base + "\\NoSuch\\quorvel.exe", base + "/NoSuch/quorvel.exe"},
      {base + "\\Ex_Data\\..\\SCG.FNC", base + "/Ex_Data/../scg.fnc"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolvePath(c.in), c.out) << c.in;
}

TEST_F(ResolvePathTest, ResolvesRelativeNamesAgainstTheCurrentFolder) {
  std::string old = CurrentDir();
  ASSERT_EQ(::chdir(dir_.str().c_str()), 0);
  EXPECT_EQ(ResolvePath("Ex_Data\\dbex_2019.FDB"), "Ex_Data/DBEX_2019.FDB");
  EXPECT_EQ(ResolvePath("ex_data\\DBEX_2019.FDB"), "Ex_Data/DBEX_2019.FDB");
  EXPECT_EQ(ResolvePath(".\\QUORVEL.exe"), "./Quorvel.EXE");
  EXPECT_EQ(CurrentDir(), std::filesystem::canonical(dir_.path()).string());
  ASSERT_EQ(::chdir(old.c_str()), 0);
}

TEST_F(ResolvePathTest, PrefersTheExactNameWhenSeveralMatch) {
  std::ofstream(dir_ / "quorvel.exe") << "y";
  EXPECT_EQ(ResolvePath(dir_.str() + "\\quorvel.exe"), dir_ / "quorvel.exe");
  EXPECT_EQ(ResolvePath(dir_.str() + "\\Quorvel.EXE"), dir_ / "Quorvel.EXE");
}

TEST(PathHelpers, SplitAndJoinLikeTheClassLibrary) {
  EXPECT_EQ(ExtractFileName("C:\\Quorvel\\Quorvel.exe"), "Quorvel.exe");
  EXPECT_EQ(ExtractFileName("C:Quorvel.exe"), "Quorvel.exe");
  EXPECT_EQ(ExtractFileName("/a/b"), "b");
  EXPECT_EQ(ExtractFilePath("C:\\Quorvel\\Quorvel.exe"), "C:\\Quorvel\\");
  EXPECT_EQ(ExtractFilePath("name"), "");
  EXPECT_EQ(ExtractFileDir("C:\\Quorvel\\Quorvel.exe"), "C:\\Quorvel");
  EXPECT_EQ(ExtractFileDir("C:\\x"), "C:\\");
  EXPECT_EQ(ExtractFileDir("/x"), "/");
  EXPECT_EQ(ExtractFileExt("Ex_Data\\DBEX_2019.FDB"), ".FDB");
  EXPECT_EQ(ExtractFileExt("a.b\\noext"), "");
  EXPECT_EQ(ExtractFileExt("Quorvel.bak.EXE"), ".EXE");
  EXPECT_EQ(ChangeFileExt("Quorvel.exe", ".bak.EXE"), "Quorvel.bak.EXE");
  EXPECT_EQ(ChangeFileExt("dir.x\\file", ".txt"), "dir.x\\file.txt");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\Q"), "C:\\Q\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/q/"), "/q/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\Q\\"), "C:\\Q");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\Q"), "C:\\Q");
}

}  // namespace
}  // namespace duz::os
