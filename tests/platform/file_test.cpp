#include "platform/file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "child_process.h"
#include "platform/error.h"
#include "support/temp_dir.h"

namespace duz::os {
namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string ReadAll(const File& f) {
  std::string s(f.Size(), '\0');
  f.ReadExactAt(0, s.data(), s.size());
  return s;
}

TEST(File, PositionedReadWriteSizeAndTruncate) {
  test::TempDir dir;
  File f = File::Open(dir / "a.dat", FileAccess::ReadWrite, FileShare::Exclusive, FileCreate::CreateNew);
  EXPECT_EQ(f.Size(), 0u);
  EXPECT_EQ(f.WriteAt(4, "wxyz", 4), 4u);
  EXPECT_EQ(f.Size(), 8u);
  char buf[16] = {};
  EXPECT_EQ(f.ReadAt(2, buf, 16), 6u);  // short only at end of file
  EXPECT_EQ(std::memcmp(buf, "\0\0wxyz", 6), 0);
  EXPECT_EQ(f.ReadAt(100, buf, 4), 0u);
  EXPECT_THROW(f.ReadExactAt(6, buf, 4), EOSError);
  f.SetSize(5);
  EXPECT_EQ(f.Size(), 5u);
  f.SetSize(1000);
  EXPECT_EQ(f.Size(), 1000u);
  f.Flush();
}

TEST(File, CreateModes) {
  test::TempDir dir;
  const std::string p = dir / "m.dat";
  EXPECT_THROW(File::Open(p, FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting), EOSError);
  EXPECT_THROW(File::Open(p, FileAccess::ReadWrite, FileShare::DenyNone, FileCreate::TruncateExisting), EOSError);
  File::Open(p, FileAccess::ReadWrite, FileShare::DenyNone, FileCreate::OpenAlways).WriteAt(0, "abc", 3);
  try {
    File::Open(p, FileAccess::ReadWrite, FileShare::DenyNone, FileCreate::CreateNew);
    ADD_FAILURE() << "CreateNew opened an existing file";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code(), EEXIST);
  }
  EXPECT_EQ(ReadAll(File::Open(p, FileAccess::Read, FileShare::DenyNone, FileCreate::OpenAlways)), "abc");
  EXPECT_EQ(File::Open(p, FileAccess::ReadWrite, FileShare::DenyNone, FileCreate::CreateAlways).Size(), 0u);
  WriteText(p, "abc");
  EXPECT_EQ(File::Open(p, FileAccess::Write, FileShare::DenyNone, FileCreate::TruncateExisting).Size(), 0u);
  EXPECT_THROW(File::Open(dir.str(), FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting), EOSError);
}

TEST(File, AccessIsEnforcedPerHandle) {
  test::TempDir dir;
  WriteText(dir / "x", "data");
  File r = File::Open(dir / "x", FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting);
  EXPECT_THROW(r.WriteAt(0, "z", 1), EOSError);
  EXPECT_THROW(r.SetSize(0), EOSError);
  File w = File::Open(dir / "x", FileAccess::Write, FileShare::DenyNone, FileCreate::OpenExisting);
  char c;
  EXPECT_THROW(w.ReadAt(0, &c, 1), EOSError);
  File closed;
  EXPECT_THROW(closed.ReadAt(0, &c, 1), EOSError);
}

TEST(File, ReadOnlyAttributeRefusesWriters) {
  test::TempDir dir;
  WriteText(dir / "ro", "data");
  ASSERT_TRUE(SetFileAttributes(dir / "ro", faReadOnly));
  for (FileAccess a : {FileAccess::Write, FileAccess::ReadWrite}) {
    try {
      File::Open(dir / "ro", a, FileShare::DenyNone, FileCreate::OpenExisting);
      ADD_FAILURE() << "a read-only file was opened for writing";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.Code(), EACCES);
    }
  }
  EXPECT_THROW(File::Open(dir / "ro", FileAccess::Write, FileShare::DenyNone, FileCreate::CreateAlways), EOSError);
  File r = File::Open(dir / "ro", FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting);
  EXPECT_EQ(ReadAll(r), "data");
  EXPECT_TRUE(r.Lock(0, 1));
}

TEST(File, PathIsResolvedWithoutRegardToCase) {
  test::TempDir dir;
  WriteText(dir / "Quorvel.EXE", "MZ");
  File f = File::Open(dir.str() + "\\quorvel.exe", FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting);
  EXPECT_EQ(f.Path(), dir / "Quorvel.EXE");
  EXPECT_EQ(ReadAll(f), "MZ");
}

// Windows rule: an open succeeds when its access is allowed by every open
// handle's share mode and its own share mode allows every open handle's access.
struct ShareCase {
  FileAccess firstAccess;
  FileShare firstShare;
  FileAccess secondAccess;
  FileShare secondShare;
  bool opens;
};

const ShareCase kShareCases[] = {
    {FileAccess::ReadWrite, FileShare::Exclusive, FileAccess::Read, FileShare::DenyNone, false},
    {FileAccess::Read, FileShare::DenyNone, FileAccess::ReadWrite, FileShare::Exclusive, false},
    {FileAccess::Read, FileShare::Exclusive, FileAccess::Read, FileShare::Exclusive, false},
    {FileAccess::Read, FileShare::DenyNone, FileAccess::ReadWrite, FileShare::DenyNone, true},
    {FileAccess::Read, FileShare::DenyWrite, FileAccess::Read, FileShare::DenyWrite, true},
    {FileAccess::Read, FileShare::DenyWrite, FileAccess::Write, FileShare::DenyNone, false},
    {FileAccess::ReadWrite, FileShare::DenyNone, FileAccess::Read, FileShare::DenyWrite, false},
    {FileAccess::Write, FileShare::DenyRead, FileAccess::Write, FileShare::DenyNone, true},
    {FileAccess::Write, FileShare::DenyRead, FileAccess::Read, FileShare::DenyNone, false},
    {FileAccess::Read, FileShare::DenyNone, FileAccess::Write, FileShare::DenyRead, false},
};

const char* AccessWord(FileAccess a) { return a == FileAccess::Read ? "r" : a == FileAccess::Write ? "w" : "rw"; }
const char* ShareWord(FileShare s) {
  switch (s) {
    case FileShare::Exclusive:
      return "excl";
    case FileShare::DenyWrite:
      return "denyw";
    case FileShare::DenyRead:
      return "denyr";
    default:
      return "none";
  }
}

class ShareTest : public ::testing::TestWithParam<ShareCase> {
 protected:
  void SetUp() override {
    path_ = dir_ / "s.dat";
    WriteText(path_, "x");
  }
  test::TempDir dir_;
  std::string path_;
};

TEST_P(ShareTest, InTheSameProcess) {
  const ShareCase& c = GetParam();
  File first = File::Open(path_, c.firstAccess, c.firstShare, FileCreate::OpenExisting);
  try {
    File second = File::Open(path_, c.secondAccess, c.secondShare, FileCreate::OpenExisting);
    EXPECT_TRUE(c.opens);
  } catch (const EOSError& e) {
    EXPECT_FALSE(c.opens) << e.what();
    EXPECT_EQ(e.Code(), EBUSY);
  }
  first.Close();
  EXPECT_NO_THROW(File::Open(path_, c.secondAccess, c.secondShare, FileCreate::OpenExisting));
}

TEST_P(ShareTest, AgainstAnotherProcess) {
  const ShareCase& c = GetParam();
  test::ChildProcess child;
  ASSERT_EQ(child.Call("open " + path_ + " " + AccessWord(c.firstAccess) + " " + ShareWord(c.firstShare)), "ok");
  try {
    File second = File::Open(path_, c.secondAccess, c.secondShare, FileCreate::OpenExisting);
    EXPECT_TRUE(c.opens);
  } catch (const EOSError& e) {
    EXPECT_FALSE(c.opens) << e.what();
  }
  ASSERT_EQ(child.Call("close"), "ok");
  // And the other way round: the child opens second.
  File first = File::Open(path_, c.firstAccess, c.firstShare, FileCreate::OpenExisting);
  EXPECT_EQ(child.Call("open " + path_ + " " + AccessWord(c.secondAccess) + " " + ShareWord(c.secondShare)),
            c.opens ? "ok" : "fail");
}

INSTANTIATE_TEST_SUITE_P(Windows, ShareTest, ::testing::ValuesIn(kShareCases));

TEST(File, TruncatingOpenOfAFileInUseLeavesItsContent) {
  test::TempDir dir;
  WriteText(dir / "t", "keep");
  File held = File::Open(dir / "t", FileAccess::Read, FileShare::DenyWrite, FileCreate::OpenExisting);
  EXPECT_THROW(File::Open(dir / "t", FileAccess::Write, FileShare::DenyNone, FileCreate::CreateAlways), EOSError);
  EXPECT_EQ(ReadAll(held), "keep");
}

}  // namespace
}  // namespace duz::os
