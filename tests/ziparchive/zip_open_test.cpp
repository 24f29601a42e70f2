// Opening archives: end record search, Zip64 records, names, stub
// displacement, recovery without an end record, and the reading errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/temp_dir.h"
#include "zip_fixture.h"
#include "ziparchive/zk_messages.h"

namespace duz {
namespace {

using test::BuildZip;
using test::CraftEntry;
using test::Kiln;
using test::ReadBytes;
using test::Shell;
using test::WriteBytes;

std::vector<std::string> Names(const TZipKiln& k) {
  std::vector<std::string> names;
  for (size_t i = 0; i < k.Count(); ++i) names.push_back(k.Item(i).Name);
  return names;
}

int OpenCode(TZipKiln& k) {
  try {
    k.Open();
  } catch (const EZKException& e) {
    return e.Code();
  }
  return 0;
}

class ZipOpen : public ::testing::Test {
 protected:
  // A small tree zipped by the real zip: files in folders, an empty folder.
  std::string MakeToolArchive(const std::string& extraArgs = "") {
    const std::string src = dir / "src";
    Shell("mkdir -p " + src + "/bin " + src + "/docs && printf 'dll bytes' > " + src +
          "/bin/a.dll && printf 'readme text readme text readme text' > " + src + "/readme.txt");
    const std::string zip = dir / "tool.zip";
    EXPECT_EQ(Shell("cd " + src + " && zip -q -r " + extraArgs + " " + zip + " bin docs readme.txt"), 0);
    return zip;
  }
  test::TempDir dir;
};

TEST_F(ZipOpen, ListsWhatUnzipListsForToolArchives) {
  for (const std::string args : {"", "-fz", "-0"}) {
    const std::string zip = MakeToolArchive(args);
    Kiln k(zip);
    k.Open();
    const auto names = Names(k);
    // unzip -Z1 prints one name per line in directory order.
    std::istringstream in(test::ShellOutput("unzip -Z1 " + zip));
    std::vector<std::string> want;
    for (std::string line; std::getline(in, line);) want.push_back(line);
    EXPECT_EQ(names, want) << args;
    for (size_t i = 0; i < k.Count(); ++i) EXPECT_EQ(k.Item(i).HasZip64, args == "-fz") << k.Item(i).Name;
    k.Close();
    EXPECT_FALSE(k.Active());
    std::remove(zip.c_str());
  }
}

TEST_F(ZipOpen, CommentsUpToTheMaximumAndFakeRecordsInside) {
  std::string fake = std::string("PK\x05\x06", 4) + std::string(18, '\0') + "rest";
  for (const std::string& comment : {std::string(65535, 'c'), fake, std::string()}) {
    WriteBytes(dir / "c.zip", BuildZip({{.name = "a.txt", .data = "hello"}, {.name = "b.txt", .data = "bye"}}, comment));
    Kiln k(dir / "c.zip");
    k.Open();
    EXPECT_EQ(k.Count(), 2u);
    EXPECT_EQ(k.Comment(), comment);
    EXPECT_FALSE(k.Recovered());
  }
}

TEST_F(ZipOpen, NamesWithBackslashesOemAndUtf8) {
  WriteBytes(dir / "n.zip", BuildZip({{.name = "sub\\dir\\f.txt", .data = "x"},
                                      {.name = "caf\x82.txt", .data = "y"},
                                      {.name = "caf\xC3\xA9-u.txt", .data = "z", .extraFlags = 0x0800}}));
  Kiln k(dir / "n.zip");
  k.Open();
  EXPECT_EQ(Names(k), (std::vector<std::string>{"sub/dir/f.txt", "caf\xE9.txt", "caf\xE9-u.txt"}));
  k.Close();
  k.Options.OEMFileNames = false;
  k.Open();
  EXPECT_EQ(k.Item(1).Name, "caf\x82.txt");
}

TEST_F(ZipOpen, Zip64EndRecordReplacesTheCounts) {
  WriteBytes(dir / "z.zip", BuildZip({{.name = "a.txt", .data = "one", .zip64 = true},
                                      {.name = "b.txt", .data = "two two", .method = 0, .zip64 = true}},
                                     "", true));
  Kiln k(dir / "z.zip");
  k.Open();
  ASSERT_EQ(k.Count(), 2u);
  EXPECT_TRUE(k.Item(1).HasZip64);
  EXPECT_EQ(k.Item(1).UncompressedSize64, 7u);
  EXPECT_EQ(k.Item(1).CompressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(k.Item(1).CompressedSize64, 7u);
}

TEST_F(ZipOpen, Zip64LocatorWithoutItsRecordFails) {
  std::string file = BuildZip({{.name = "a.txt", .data = "one"}}, "", true);
  const size_t z64 = file.size() - 22 - 20 - 56;
  file[z64] = 'X';  // the Zip64 end record's signature destroyed
  WriteBytes(dir / "z.zip", file);
  Kiln k(dir / "z.zip");
  try {
    k.Open();
    FAIL() << "opened";
  } catch (const EZKException& e) {
    EXPECT_EQ(e.Code(), 40);
    EXPECT_STREQ(e.what(), "Archiver: Cannot find Zip64 directory end record - Native error: 00040");
  }
  EXPECT_FALSE(k.Active());
}

TEST_F(ZipOpen, PrependedStubIsFoundThroughTheDisplacement) {
  const std::string stub = "MZ" + std::string(4998, 's');
  // A tool archive, and a crafted one whose first directory entry is not the
  // first in the file (declared offset not 0).
  const std::string tool = ReadBytes(MakeToolArchive());
  const std::string crafted = BuildZip({{.name = "first.txt", .data = std::string(300, 'f')},
                                        {.name = "second.txt", .data = "second"}},
                                       "", false, {1, 0});
  for (const std::string& archive : {tool, crafted}) {
    WriteBytes(dir / "sfx.zip", stub + archive);
    Kiln k(dir / "sfx.zip");
    k.Open();
    EXPECT_EQ(k.StubDisplacement(), stub.size());
    const std::string out = dir / "out";
    k.BaseDir = out + "\\";
    k.OnProcessFileFailure = [](const std::string& name, const EZKException& e, TZKAction& a) {
      ADD_FAILURE() << name << ": " << e.what();
      a = TZKAction::fxaIgnore;
    };
    k.ExtractByMask("*.*", 10431, "");
    // unzip also reads such archives (warning about extra bytes, exit 1).
    const std::string ref = dir / "ref";
    Shell("unzip -q -o " + (dir / "sfx.zip") + " -d " + ref);
    EXPECT_EQ(test::ListTree(out), test::ListTree(ref));
    Shell("rm -rf " + out + " " + ref);
  }
}

TEST_F(ZipOpen, RecoversFromLocalHeadersWithoutEndRecord) {
  const std::string full = BuildZip({{.name = "a.txt", .data = "alpha alpha alpha"},
                                     {.name = "empty.txt", .data = ""},
                                     {.name = "d.txt", .data = "described", .descriptor = true},
                                     {.name = "s.bin", .data = "stored", .method = 0}});
  const size_t directory = full.find(std::string("PK\x01\x02", 4));
  WriteBytes(dir / "r.zip", full.substr(0, directory));
  Kiln k(dir / "r.zip");
  k.Open();
  EXPECT_TRUE(k.Recovered());
  ASSERT_EQ(Names(k), (std::vector<std::string>{"a.txt", "empty.txt", "d.txt", "s.bin"}));
  EXPECT_EQ(k.Item(0).ExternalAttr, 32u);
  EXPECT_EQ(k.Item(1).ExternalAttr, 16u);  // length 0 without descriptor: a directory
  EXPECT_EQ(k.Item(2).ExternalAttr, 32u);
  EXPECT_EQ(k.Item(2).UncompressedSize64, 9u);  // taken from the descriptor
  EXPECT_EQ(k.Item(2).Crc32, test::Crc("described"));

  k.BaseDir = (dir / "out") + "\\";
  k.ExtractByMask("*.*", 10431, "");
  EXPECT_EQ(ReadBytes(dir / "out/a.txt"), "alpha alpha alpha");
  EXPECT_EQ(ReadBytes(dir / "out/d.txt"), "described");
  EXPECT_EQ(ReadBytes(dir / "out/s.bin"), "stored");
}

TEST_F(ZipOpen, ReadingErrors) {
  WriteBytes(dir / "junk.zip", std::string(5000, 'j'));
  Kiln junk(dir / "junk.zip");
  EXPECT_EQ(OpenCode(junk), zk::kInvalidArchive);

  WriteBytes(dir / "cut.zip", BuildZip({{.name = "a.txt", .data = "a"}}).substr(0, 40));
  Kiln damaged(dir / "cut.zip");
  damaged.SetOpenCorruptedArchives(false);
  EXPECT_EQ(OpenCode(damaged), zk::kArchiveDamaged);

  // An entry count beyond what the directory holds.
  std::string file = BuildZip({{.name = "a.txt", .data = "a"}});
  file[file.size() - 12] = 5;
  WriteBytes(dir / "count.zip", file);
  Kiln count(dir / "count.zip");
  EXPECT_EQ(OpenCode(count), zk::kInvalidArchive);

  Kiln blank((dir / "folder") + "\\");
  EXPECT_EQ(OpenCode(blank), zk::kBlankFileName);

  Kiln closed(dir / "junk.zip");
  try {
    closed.ExtractByMask("*.*", 10431, "");
    FAIL();
  } catch (const EZKException& e) {
    EXPECT_STREQ(e.what(), "Archiver: Archive is not open - Native error: 00013");
  }
}

TEST_F(ZipOpen, MissingFileOpensANewEmptyArchive) {
  Kiln k(dir / "new.zip");
  k.Open();
  EXPECT_TRUE(k.Active());
  EXPECT_EQ(k.Count(), 0u);
  k.BaseDir = dir / "out";
  k.ExtractByMask("*.*", 10431, "");
  k.Close();
  EXPECT_EQ(ReadBytes(dir / "new.zip"), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  k.Open();  // and the written end record reads back
  EXPECT_EQ(k.Count(), 0u);
}

}  // namespace
}  // namespace duz
