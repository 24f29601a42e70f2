#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "support/temp_dir.h"

namespace duz::os {
namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path, const std::string& text = "x") { std::ofstream(path, std::ios::binary) << text; }

class FileOpsTest : public ::testing::Test {
 protected:
  std::string In(const std::string& windowsRelative) const { return dir_.str() + "\\" + windowsRelative; }
  test::TempDir dir_;
};

TEST_F(FileOpsTest, ExistenceAndFolders) {
  Touch(dir_ / "Quorvel.EXE");
  EXPECT_TRUE(FileExists(In("quorvel.exe")));
  EXPECT_FALSE(DirectoryExists(In("quorvel.exe")));
  EXPECT_FALSE(FileExists(In("missing")));
  EXPECT_FALSE(FileExists(dir_.str()));
  EXPECT_TRUE(DirectoryExists(dir_.str()));

  EXPECT_FALSE(CreateDir(In("A\\B")));  // one level only
  EXPECT_TRUE(CreateDir(In("A")));
  EXPECT_FALSE(CreateDir(In("a")));  // exists already, in another case
  EXPECT_TRUE(CreateDir(In("a\\B\\")));
  EXPECT_TRUE(DirectoryExists(dir_ / "A/B"));
  EXPECT_TRUE(ForceDirectories(In("a\\b\\C\\D")));
  EXPECT_TRUE(DirectoryExists(dir_ / "A/B/C/D"));
  EXPECT_TRUE(ForceDirectories(In("A\\B")));  // already there
  EXPECT_FALSE(ForceDirectories(In("Quorvel.exe\\sub")));
  EXPECT_FALSE(RemoveDir(In("A")));  // not empty
  EXPECT_TRUE(RemoveDir(In("a\\b\\c\\d")));
  EXPECT_FALSE(DirectoryExists(dir_ / "A/B/C/D"));
}

TEST_F(FileOpsTest, DeleteRefusesReadOnlyAndOpenFiles) {
  Touch(dir_ / "f");
  ::chmod((dir_ / "f").c_str(), 0444);
  EXPECT_FALSE(DeleteFile(In("F")));
  EXPECT_TRUE(SetFileAttributes(In("f"), 0));
  {
    File open = File::Open(dir_ / "f", FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting);
    EXPECT_FALSE(DeleteFile(In("F")));
  }
  {
    test::ChildProcess child;
    ASSERT_EQ(child.Call("open " + (dir_ / "f") + " r none"), "ok");
    EXPECT_FALSE(DeleteFile(In("F")));
    EXPECT_FALSE(RenameFile(In("f"), In("g")));
  }
  EXPECT_TRUE(DeleteFile(In("F")));
  EXPECT_FALSE(fs::exists(dir_ / "f"));
  EXPECT_FALSE(DeleteFile(In("F")));
  fs::create_directory(dir_ / "d");
  EXPECT_FALSE(DeleteFile(In("d")));
}

TEST_F(FileOpsTest, RenameNeverReplaces) {
  Touch(dir_ / "Quorvel.exe", "exe");
  Touch(dir_ / "other", "other");
  EXPECT_FALSE(RenameFile(In("quorvel.exe"), In("OTHER")));
  EXPECT_TRUE(RenameFile(In("quorvel.exe"), In("Quorvel.bak.EXE")));
  EXPECT_TRUE(fs::exists(dir_ / "Quorvel.bak.EXE"));
  EXPECT_FALSE(fs::exists(dir_ / "Quorvel.exe"));
  // A change of letter case alone renames.
  EXPECT_TRUE(RenameFile(In("Quorvel.bak.EXE"), In("quorvel.bak.exe")));
  EXPECT_TRUE(fs::exists(dir_ / "quorvel.bak.exe"));
  EXPECT_FALSE(fs::exists(dir_ / "Quorvel.bak.EXE"));
  EXPECT_FALSE(RenameFile(In("missing"), In("new")));
  {
    File open = File::Open(dir_ / "other", FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting);
    EXPECT_FALSE(RenameFile(In("other"), In("moved")));
  }
  EXPECT_TRUE(RenameFile(In("other"), In("moved")));
}

TEST_F(FileOpsTest, CopyKeepsTimeAndReadOnlyBit) {
  Touch(dir_ / "src", "payload");
  ASSERT_TRUE(SetFileLastWriteTime(In("SRC"), 1000000000));
  EXPECT_TRUE(CopyFile(In("SRC"), In("dst"), true));
  EXPECT_EQ(GetFileSize(In("dst")), 7u);
  EXPECT_EQ(GetFileLastWriteTime(In("dst")), std::time_t{1000000000});
  EXPECT_FALSE(CopyFile(In("src"), In("DST"), true));
  Touch(dir_ / "src", "changed!");
  EXPECT_TRUE(CopyFile(In("src"), In("DST"), false));
  EXPECT_EQ(GetFileSize(In("dst")), 8u);
  SetFileAttributes(In("dst"), faReadOnly);
  EXPECT_FALSE(CopyFile(In("src"), In("dst"), false));  // a read-only target is not replaced
  EXPECT_FALSE(CopyFile(In("missing"), In("x"), false));
  EXPECT_FALSE(fs::exists(dir_ / "x"));
}

TEST_F(FileOpsTest, AttributesMapToTheWindowsBits) {
  Touch(dir_ / "plain");
  Touch(dir_ / "ro");
  ::chmod((dir_ / "ro").c_str(), 0444);
  Touch(dir_ / ".hidden");
  fs::create_directory(dir_ / "Dir");
  fs::create_directory(dir_ / ".hdir");
  struct Case {
    const char* name;
    uint32_t attr;
  } cases[] = {
      {"PLAIN", faArchive},
      {"ro", faArchive | faReadOnly},
      {".HIDDEN", faArchive | faHidden},
      {"dir", faDirectory},
      {"dir\\", faDirectory},
      {".hdir", faDirectory | faHidden},
      {"missing", kInvalidFileAttributes},
  };
  for (const auto& c : cases) EXPECT_EQ(GetFileAttributes(In(c.name)), c.attr) << c.name;
  EXPECT_EQ(GetFileAttributes("/dev/null"), faSysFile);

  EXPECT_TRUE(SetFileAttributes(In("plain"), faReadOnly | faHidden | faArchive));
  EXPECT_EQ(GetFileAttributes(In("plain")), faArchive | faReadOnly);  // only read-only has an effect
  struct stat st;
  ASSERT_EQ(::stat((dir_ / "plain").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);  // no one may write
  EXPECT_TRUE(SetFileAttributes(In("plain"), faArchive));
  EXPECT_EQ(GetFileAttributes(In("plain")), faArchive);
  EXPECT_FALSE(SetFileAttributes(In("missing"), 0));
}

TEST_F(FileOpsTest, SizeAndTimes) {
  Touch(dir_ / "f", "12345");
  EXPECT_EQ(GetFileSize(In("F")), 5u);
  EXPECT_EQ(GetFileSize(In("missing")), std::nullopt);
  EXPECT_EQ(GetFileSize(dir_.str()), std::nullopt);
  EXPECT_TRUE(SetFileLastWriteTime(In("F"), 1262304000));  // 2010-01-01 00:00:00 UTC
  EXPECT_EQ(GetFileLastWriteTime(In("f")), std::time_t{1262304000});
  EXPECT_EQ(GetFileLastWriteTime(In("missing")), std::nullopt);
  EXPECT_FALSE(SetFileLastWriteTime(In("missing"), 0));
}

TEST_F(FileOpsTest, DriveTypeAndFreeSpace) {
  DriveType t = GetDriveType(dir_.str());
  EXPECT_TRUE(t == DriveType::Fixed || t == DriveType::RamDisk || t == DriveType::Remote) << static_cast<int>(t);
  EXPECT_EQ(GetDriveType(In("not\\yet\\there.txt")), t);  // a file to be created: its folder's drive
  std::ifstream mounts("/proc/mounts");
  std::string dev, mountPoint, type, rest;
  while (mounts >> dev >> mountPoint >> type && std::getline(mounts, rest))
    if (mountPoint == "/dev/shm" && type == "tmpfs") {
      EXPECT_EQ(GetDriveType("/dev/shm"), DriveType::RamDisk);
    }
  auto free = DiskFree(dir_.str());
  ASSERT_TRUE(free.has_value());
  EXPECT_GT(*free, 0u);
  EXPECT_TRUE(DiskFree(In("not\\yet")).has_value());
}

TEST_F(FileOpsTest, TemporaryFolderAndNames) {
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(TempFolder(), "/var/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(TempFolder(), "/tmp/");
  if (old) setenv("TMPDIR", saved.c_str(), 1);

  std::string a = UniqueTempFileName(dir_.str(), "ORQ");
  std::string b = UniqueTempFileName(dir_.str() + "\\", "ORQ");
  EXPECT_NE(a, b);
  for (const auto& p : {a, b}) {
    EXPECT_EQ(ExtractFilePath(p), dir_.str() + "/");
    EXPECT_EQ(ExtractFileName(p).rfind("ORQ", 0), 0u);
    EXPECT_EQ(ExtractFileExt(p), ".tmp");
    EXPECT_EQ(GetFileSize(p), 0u);
  }
  EXPECT_THROW(UniqueTempFileName(In("missing"), "x"), EOSError);
}

}  // namespace
}  // namespace duz::os
