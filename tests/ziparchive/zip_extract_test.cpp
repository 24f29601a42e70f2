// Extraction by mask: archives of the real tools against what unzip
// extracts, and the crafted cases of failure handling, passwords, masks,
// overwriting, hostile names and oversized output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/file.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "zip_fixture.h"
#include "ziparchive/dos_time.h"
#include "ziparchive/zk_messages.h"

namespace duz {
namespace {

namespace fs = std::filesystem;
using test::BuildZip;
using test::CraftEntry;
using test::Kiln;
using test::ListTree;
using test::ReadBytes;
using test::Shell;
using test::WriteBytes;

class ZipExtract : public ::testing::Test {
 protected:
  std::string Out() const { return dir / "out"; }
  // Extracts like the update: mask "*.*", filter 10431, base folder with "\".
  void Extract(TZipKiln& k, const std::string& mask = "*.*") {
    k.BaseDir = Out() + "\\";
    k.ExtractByMask(mask, 10431, "");
  }
  // Records every entry failure's code and goes on with the next entry.
  void IgnoreFailures(TZipKiln& k) {
    k.OnProcessFileFailure = [this](const std::string& name, const EZKException& e, TZKAction& a) {
      failures.push_back({name, e.Code()});
      a = TZKAction::fxaIgnore;
    };
  }
  std::string Archive(const std::vector<CraftEntry>& entries) {
    WriteBytes(dir / "a.zip", BuildZip(entries));
    return dir / "a.zip";
  }
  // A source tree: files in folders, an empty folder, a file larger than
  // one chunk, incompressible bytes, an empty file.
  std::string MakeTree() {
    const std::string src = dir / "src";
    fs::create_directories(src + "/bin");
    fs::create_directories(src + "/docs");
    fs::create_directories(src + "/deep/er/est");
    WriteBytes(src + "/bin/a.dll", "MZ fake dll");
    std::string big;
    for (int i = 0; big.size() < 3'500'000; ++i) big += "line " + std::to_string(i) + " of a long text file\n";
    WriteBytes(src + "/big.txt", big);
    std::mt19937 rng(7);
    std::string noise(200'000, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    WriteBytes(src + "/deep/er/est/noise.bin", noise);
    WriteBytes(src + "/empty.dat", "");
    return src;
  }

  struct Failure {
    std::string name;
    int code;
    bool operator==(const Failure&) const = default;
  };
  std::vector<Failure> failures;
  test::TempDir dir;
};

TEST_F(ZipExtract, ToolArchivesExtractAsUnzipDoes) {
  const std::string src = MakeTree();
  struct Case {
    const char* tool;
    std::string make;  // run in src, writes ARCHIVE
    std::string password;
  };
  const std::vector<Case> cases = {
      {"zip", "zip -q -r -P tulvasp ARCHIVE .", "tulvasp"},
      {"zip", "zip -q -r ARCHIVE .", ""},
      {"zip", "zip -q -r -0 ARCHIVE .", ""},
      // Written to a pipe: CRC and sizes in data descriptors, so the password
      // check uses the DOS time byte.
      {"zip", "zip -q -r -P tulvasp - . > ARCHIVE", "tulvasp"},
      {"7z", "7z a -bd -tzip -mem=ZipCrypto -ptulvasp ARCHIVE .", "tulvasp"},
      {"python3",
       "python3 -c \"import zipfile,os\n"
       "with zipfile.ZipFile('ARCHIVE','w',zipfile.ZIP_DEFLATED) as z:\n"
       "  [z.write(os.path.join(r,n), os.path.relpath(os.path.join(r,n))) for r,ds,fs in os.walk('.') for n in ds+fs]\"",
       ""},
  };
  for (const Case& c : cases) {
    if (!test::HaveTool(c.tool)) continue;
    SCOPED_TRACE(c.make);
    const std::string archive = dir / "t.zip";
    std::string make = c.make;
    make.replace(make.find("ARCHIVE"), 7, archive);
    ASSERT_EQ(Shell("cd " + src + " && " + make), 0);
    const std::string ref = dir / "ref";
    ASSERT_EQ(Shell("unzip -q -o " + (c.password.empty() ? "" : "-P " + c.password + " ") + archive + " -d " + ref), 0);

    Kiln k(archive, c.password);
    k.Open();
    IgnoreFailures(k);
    Extract(k);
    EXPECT_TRUE(failures.empty()) << failures.front().name << " " << failures.front().code;
    EXPECT_EQ(ListTree(Out()), ListTree(ref));
    // Last-write times are the entries' DOS times, as unzip sets them.
    for (size_t i = 0; i < k.Count(); ++i) {
      const TZKDirItem& item = k.Item(i);
      if (item.IsDirectory()) continue;
      const auto t = os::GetFileLastWriteTime(Out() + "/" + item.Name);
      ASSERT_TRUE(t) << item.Name;
      EXPECT_EQ(*t, DosDateTimeToUnix(item.ModDate, item.ModTime)) << item.Name;
      // unzip prefers the exact Unix time of an extra field when there is one.
      EXPECT_LE(std::abs(*t - *os::GetFileLastWriteTime(ref + "/" + item.Name)), 1) << item.Name;
    }
    k.Close();
    Shell("rm -rf " + Out() + " " + ref + " " + archive);
    failures.clear();
  }
}

TEST_F(ZipExtract, FileAndDirectoryEntriesCreateTheirFolders) {
  Kiln k(Archive({{.name = "bin/a.dll", .data = "dll"}, {.name = "docs/", .data = "", .method = 0, .externalAttr = 0x10}}));
  k.Open();
  Extract(k);
  EXPECT_EQ(ListTree(Out()), (std::vector<test::TreeItem>{{"bin/", ""}, {"bin/a.dll", "dll"}, {"docs/", ""}}));
}

TEST_F(ZipExtract, UnsupportedMethodsFailTheirEntryOnly) {
  struct Case {
    const char* tool;
    std::string make;
    int code;
  };
  const std::string src = MakeTree();
  const std::vector<Case> cases = {
      {"7z", "7z a -bd -tzip -mm=Deflate64 ARCHIVE big.txt bin", zk::kDeflate64Unsupported},
      {"python3",
       "python3 -c \"import zipfile\nwith zipfile.ZipFile('ARCHIVE','w',zipfile.ZIP_BZIP2) as z: z.write('big.txt')\"",
       zk::kInvalidCheckSum},
  };
  for (const Case& c : cases) {
    if (!test::HaveTool(c.tool)) continue;
    const std::string archive = dir / "m.zip";
    std::string make = c.make;
    make.replace(make.find("ARCHIVE"), 7, archive);
    ASSERT_EQ(Shell("cd " + src + " && " + make), 0);
    test::ScriptedDialogs dialogs;
    dialogs.AnswerMessage(MsgResult::Ignore);
    Kiln k(archive);
    k.Open();
    Extract(k);
    EXPECT_FALSE(fs::exists(Out() + "/big.txt"));
    ASSERT_FALSE(dialogs.Prompts().empty());
    EXPECT_EQ(dialogs.Prompts()[0].text,
              "Archiver: " + std::string(ZKMessageText(c.code)) + " - Native error: " +
                  (c.code == 55 ? "00055" : "00008") + ". File processing error, possibly disk is full");
    EXPECT_EQ(dialogs.Prompts()[0].buttons, MsgButtons::AbortRetryIgnore);
    EXPECT_TRUE(dialogs.AllAnswersUsed());
    k.Close();
    Shell("rm -rf " + Out() + " " + archive);
  }
}

TEST_F(ZipExtract, WrongCrcIgnoreRetryAbort) {
  const std::vector<CraftEntry> entries = {{.name = "bad.txt", .data = "corrupted", .crc = 0x12345678},
                                           {.name = "good.txt", .data = "fine"}};
  {
    test::ScriptedDialogs dialogs;
    dialogs.AnswerMessage(MsgResult::Ignore);
    Kiln k(Archive(entries));
    k.Open();
    Extract(k);  // returns normally
    EXPECT_FALSE(fs::exists(Out() + "/bad.txt"));
    EXPECT_EQ(ReadBytes(Out() + "/good.txt"), "fine");
    ASSERT_EQ(dialogs.Prompts().size(), 1u);
    EXPECT_EQ(dialogs.Prompts()[0].text,
              "Archiver: Invalid size or check sum of file or unsupported compression format - Native error: 00008. "
              "File processing error, possibly disk is full");
  }
  fs::remove_all(Out());
  {
    test::ScriptedDialogs dialogs;
    dialogs.AnswerMessage(MsgResult::Retry);
    dialogs.AnswerMessage(MsgResult::Abort);
    Kiln k(Archive(entries));
    k.Open();
    Extract(k);
    EXPECT_EQ(dialogs.Prompts().size(), 2u);  // the same entry twice
    EXPECT_FALSE(fs::exists(Out() + "/bad.txt"));
    EXPECT_FALSE(fs::exists(Out() + "/good.txt"));  // the loop ended
  }
}

TEST_F(ZipExtract, MasksSelectEntries) {
  const std::vector<CraftEntry> entries = {
      {.name = "readme", .data = "r"}, {.name = "a.txt", .data = "a"}, {.name = "ab.txt", .data = "ab"},
      {.name = "sub/x.TXT", .data = "x"}, {.name = "bin/lib.dll", .data = "l"},
      {.name = "hidden.sys", .data = "h", .externalAttr = 0x22}};
  struct Case {
    std::string mask;
    uint32_t attr;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"*.", 10431, {"readme"}},
      {"?.txt", 10431, {"a.txt", "sub/x.TXT"}},  // the file-name part alone matches
      {"??.txt", 10431, {"ab.txt"}},
      {"*.txt", 10431, {"a.txt", "ab.txt", "sub/x.TXT"}},
      {"bin\\*", 10431, {"bin/lib.dll"}},
      {"*.*", 0x21, {"readme", "a.txt", "ab.txt", "sub/x.TXT", "bin/lib.dll"}},  // hidden needs its bit
  };
  for (const Case& c : cases) {
    Kiln k(Archive(entries));
    k.Open();
    k.BaseDir = Out();
    k.ExtractByMask(c.mask, c.attr, "");
    std::vector<std::string> got;
    for (size_t i = 0; i < k.Count(); ++i)
      if (k.Item(i).Selected) {
        got.push_back(k.Item(i).Name);
        EXPECT_TRUE(fs::exists(Out() + "/" + k.Item(i).Name));
      }
    EXPECT_EQ(got, c.want) << c.mask;
    fs::remove_all(Out());
  }
  Kiln k(Archive(entries));
  k.Open();
  k.BaseDir = Out();
  k.ExtractByMask("*.*", 10431, "*.txt");
  EXPECT_FALSE(fs::exists(Out() + "/a.txt"));
  EXPECT_TRUE(fs::exists(Out() + "/readme"));
}

TEST_F(ZipExtract, WrongPasswordPromptsUntilRightOrCancelled) {
  const std::vector<CraftEntry> entries = {{.name = "one.txt", .data = "first secret", .password = "tulvasp"},
                                           {.name = "two.txt", .data = "second secret", .password = "tulvasp"},
                                           {.name = "plain.txt", .data = "open"}};
  {
    test::ScriptedDialogs dialogs;
    dialogs.AnswerInput("nope");
    dialogs.AnswerInput("tulvasp");
    Kiln k(Archive(entries), "wrong");
    k.Open();
    Extract(k);
    EXPECT_EQ(k.Password, "tulvasp");  // kept for the next entry
    EXPECT_EQ(ReadBytes(Out() + "/one.txt"), "first secret");
    EXPECT_EQ(ReadBytes(Out() + "/two.txt"), "second secret");
    ASSERT_EQ(dialogs.Prompts().size(), 2u);
    EXPECT_EQ(dialogs.Prompts()[0].kind, "input");
    EXPECT_EQ(dialogs.Prompts()[0].caption, "Password for \"one.txt\"");
    EXPECT_EQ(dialogs.Prompts()[0].text, "Enter password: ");
  }
  fs::remove_all(Out());
  {
    test::ScriptedDialogs dialogs;
    dialogs.AnswerInput("", false);
    dialogs.AnswerInput("", false);
    Kiln k(Archive(entries), "wrong");
    k.Open();
    Extract(k);
    EXPECT_FALSE(fs::exists(Out() + "/one.txt"));
    EXPECT_FALSE(fs::exists(Out() + "/two.txt"));
    EXPECT_EQ(ReadBytes(Out() + "/plain.txt"), "open");
    EXPECT_EQ(dialogs.Prompts().size(), 2u);  // no failure dialog for a skip
  }
  fs::remove_all(Out());
  {
    Kiln k(Archive(entries), "wrong");
    std::vector<std::string> asked;
    k.OnPassword = [&](const std::string& name, std::string& pw, bool& skip) {
      asked.push_back(name + "=" + pw);
      pw = "tulvasp";
    };
    k.Open();
    Extract(k);
    EXPECT_EQ(asked, (std::vector<std::string>{"one.txt=wrong"}));
    EXPECT_EQ(ReadBytes(Out() + "/two.txt"), "second secret");
  }
}

TEST_F(ZipExtract, HostileNamesAreRefusedAndNothingLeavesTheBase) {
  const std::vector<std::string> hostile = {"../evil1.txt", "a/../../evil2.txt", "/tmp/evil3.txt",
                                            "C:\\evil4.txt", "\\\\server\\share\\evil5.txt", "a\\..\\..\\evil6.txt"};
  std::vector<CraftEntry> entries;
  for (const auto& n : hostile) entries.push_back({.name = n, .data = "evil"});
  entries.push_back({.name = "ok/good.txt", .data = "good"});
  Kiln k(Archive(entries));
  k.Open();
  IgnoreFailures(k);
  fs::create_directories(dir / "base/out");
  k.BaseDir = (dir / "base/out") + "\\";
  k.ExtractByMask("*.*", 10431, "");
  ASSERT_EQ(failures.size(), hostile.size());
  for (const auto& f : failures) EXPECT_EQ(f.code, zk::kUnsafeEntryName) << f.name;
  EXPECT_EQ(ListTree(dir / "base"),
            (std::vector<test::TreeItem>{{"out/", ""}, {"out/ok/", ""}, {"out/ok/good.txt", "good"}}));
  EXPECT_FALSE(fs::exists("/tmp/evil3.txt"));
  std::string message;
  k.OnProcessFileFailure = [&](const std::string&, const EZKException& e, TZKAction& a) {
    message = e.what();
    a = TZKAction::fxaAbort;
  };
  k.ExtractByMask("*.*", 10431, "");
  EXPECT_EQ(message,
            "Archiver: Entry \"..\\evil1.txt\" would be written outside the destination folder and is refused - "
            "Native error:    57");
}

TEST_F(ZipExtract, OutputBeyondTheDeclaredSizeOrCorruptStreamFails) {
  const std::string zeros(4'000'000, '\0');
  std::string corrupt = test::RawDeflate(std::string(100'000, 'q') + "tail");
  corrupt[corrupt.size() / 2] ^= 0x55;
  corrupt[corrupt.size() / 2 + 1] ^= 0xFF;
  Kiln k(Archive({
      {.name = "bomb.bin", .data = zeros, .size = 1000},               // inflates far past 1000 bytes
      {.name = "long.bin", .data = "0123456789", .method = 0, .size = 4},  // stored, longer than declared
      {.name = "broken.txt", .data = std::string(100'000, 'q') + "tail", .compressed = corrupt},
      {.name = "short.txt", .data = "abc", .method = 0, .size = 10},   // less than declared
      {.name = "fine.txt", .data = "fine"},
  }));
  k.Open();
  IgnoreFailures(k);
  Extract(k);
  EXPECT_EQ(failures, (std::vector<Failure>{{"bomb.bin", 8}, {"long.bin", 8}, {"broken.txt", 8}, {"short.txt", 8}}));
  EXPECT_EQ(ListTree(Out()), (std::vector<test::TreeItem>{{"fine.txt", "fine"}}));

  // With corrupted files allowed, what was written stays (but never more
  // than declared).
  fs::remove_all(Out());
  failures.clear();
  k.ExtractCorruptedFiles = true;
  Extract(k);
  EXPECT_EQ(failures, (std::vector<Failure>{{"bomb.bin", 8}, {"long.bin", 8}}));
  EXPECT_EQ(ReadBytes(Out() + "/short.txt"), "abc");
}

TEST_F(ZipExtract, OverwriteModesAndReadOnlyTargets) {
  struct Case {
    TZKOverwriteMode mode;
    bool replaceReadOnly;
    bool readOnly;
    int targetAge;  // target's time minus the entry's, in seconds
    bool replaced;
  };
  const std::vector<Case> cases = {
      {TZKOverwriteMode::omAlways, true, true, 0, true},    // the update's settings
      {TZKOverwriteMode::omAlways, false, true, 0, false},
      {TZKOverwriteMode::omAlways, false, false, 0, true},
      {TZKOverwriteMode::omNever, true, false, 0, false},
      {TZKOverwriteMode::omIfNewer, true, false, -3600, true},
      {TZKOverwriteMode::omIfNewer, true, false, 3600, false},
      {TZKOverwriteMode::omIfOlder, true, false, 3600, true},
      {TZKOverwriteMode::omIfOlder, true, false, -3600, false},
  };
  const CraftEntry entry{.name = "app.exe", .data = "new program"};
  for (const Case& c : cases) {
    fs::create_directories(Out());
    const std::string target = Out() + "/app.exe";
    WriteBytes(target, "old program");
    os::SetFileLastWriteTime(target, DosDateTimeToUnix(entry.dosDate, entry.dosTime) + c.targetAge);
    if (c.readOnly) fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                                    fs::perm_options::remove);
    Kiln k(Archive({entry}));
    k.Options.OverwriteMode = c.mode;
    k.Options.ReplaceReadOnly = c.replaceReadOnly;
    k.Open();
    IgnoreFailures(k);
    Extract(k);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(ReadBytes(target), c.replaced ? "new program" : "old program")
        << static_cast<int>(c.mode) << " ro=" << c.readOnly;
    if (c.replaced) {
      EXPECT_EQ(os::GetFileAttributes(target) & os::faReadOnly, 0u);
    }
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(Out());
  }
}

TEST_F(ZipExtract, AttributesFromTheEntry) {
  Kiln k(Archive({{.name = "ro.txt", .data = "r", .externalAttr = 0x21}, {.name = "rw.txt", .data = "w"}}));
  k.Open();
  Extract(k);
  EXPECT_NE(os::GetFileAttributes(Out() + "/ro.txt") & os::faReadOnly, 0u);
  EXPECT_EQ(os::GetFileAttributes(Out() + "/rw.txt") & os::faReadOnly, 0u);
  fs::remove_all(Out());
  k.Options.SetAttributes = false;
  Extract(k);
  EXPECT_EQ(os::GetFileAttributes(Out() + "/ro.txt") & os::faReadOnly, 0u);
}

TEST_F(ZipExtract, EventsConfirmRenameAndCancel) {
  const std::string big(3'000'000, 'b');
  const std::vector<CraftEntry> entries = {{.name = "skip.txt", .data = "s"},
                                           {.name = "sub/rename.txt", .data = "r"},
                                           {.name = "big.bin", .data = big, .method = 0},
                                           {.name = "after.txt", .data = "a"}};
  Kiln k(Archive(entries));
  std::vector<std::string> events;
  k.OnConfirmProcessFile = [&](const std::string& name, bool& confirm) { confirm = name != "skip.txt"; };
  k.OnExtractFile = [&](std::string& name, uint32_t& attr, const TZKDirItem&) {
    if (name == "sub\\rename.txt") name = "sub\\renamed.txt";
  };
  k.OnFileProgress = [&](const std::string& name, double percent, TZKProgressPhase phase, bool& cancel) {
    if (phase == TZKProgressPhase::ppProcess) events.push_back(name + " " + std::to_string(int(percent)));
    if (name == "big.bin" && phase == TZKProgressPhase::ppProcess && percent > 50) cancel = true;
  };
  double lastOverall = -1;
  k.OnOverallProgress = [&](double percent, TZKProgressPhase, bool&) { lastOverall = percent; };
  k.Open();
  Extract(k);
  EXPECT_FALSE(fs::exists(Out() + "/skip.txt"));
  EXPECT_EQ(ReadBytes(Out() + "/sub/renamed.txt"), "r");
  EXPECT_FALSE(fs::exists(Out() + "/big.bin"));    // cancelled: the partial file is deleted
  EXPECT_FALSE(fs::exists(Out() + "/after.txt"));  // and the loop ended
  EXPECT_EQ(lastOverall, 100);
  EXPECT_EQ(events, (std::vector<std::string>{"sub\\rename.txt 100", "big.bin 34", "big.bin 69"}));
}

TEST_F(ZipExtract, OneExtractionAtATimeInTheProcess) {
  std::vector<CraftEntry> entries;
  for (int i = 0; i < 20; ++i) entries.push_back({.name = "f" + std::to_string(i), .data = std::string(20'000, 'x')});
  WriteBytes(dir / "l.zip", BuildZip(entries));
  std::atomic<int> inside{0};
  std::atomic<int> overlap{0};
  auto run = [&](const std::string& out) {
    Kiln k(dir / "l.zip");
    k.OnOverallProgress = [&](double, TZKProgressPhase phase, bool&) {
      if (phase == TZKProgressPhase::ppStart && inside++ != 0) ++overlap;
      if (phase == TZKProgressPhase::ppEnd) --inside;
    };
    k.OnFileProgress = [&](const std::string&, double, TZKProgressPhase, bool&) { std::this_thread::yield(); };
    k.Open();
    k.BaseDir = out;
    k.ExtractByMask("*.*", 10431, "");
  };
  std::thread a(run, dir / "o1");
  std::thread b(run, dir / "o2");
  a.join();
  b.join();
  EXPECT_EQ(overlap, 0);
  EXPECT_EQ(ListTree(dir / "o1"), ListTree(dir / "o2"));
}

}  // namespace
}  // namespace duz
