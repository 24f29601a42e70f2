// Byte-level reading rules: end record acceptance, central headers and the
// Zip64 block, entry names, masks, safe names, chunk sizes and messages.
#include <gtest/gtest.h>

#include "zip_fixture.h"
#include "ziparchive/zip_format.h"
#include "ziparchive/zip_kiln.h"
#include "ziparchive/zip_mask.h"
#include "ziparchive/zk_messages.h"

namespace duz {
namespace {

using test::BuildZip;
using test::CraftEntry;

std::optional<uint64_t> FindEnd(const std::string& file, size_t window = 65600) {
  const size_t tail = std::min(file.size(), window);
  return zipfmt::FindEndRecord(reinterpret_cast<const uint8_t*>(file.data()) + file.size() - tail, tail,
                               file.size());
}

TEST(ZipEndRecord, AcceptsOnlyACandidateWhoseCommentEndsTheFile) {
  const std::string plain = BuildZip({{.name = "a.txt", .data = "hello"}});
  const uint64_t plainEnd = plain.size() - 22;
  // A fake record inside the comment: its length field does not reach the end.
  std::string fake = "xx";
  fake += std::string("PK\x05\x06", 4) + std::string(16, '\0') + std::string("\x05\x00", 2) + "tail-of-comment";
  const std::string withFake = BuildZip({{.name = "a.txt", .data = "hello"}}, fake);
  // A fake record whose length field does match the bytes after it wins,
  // being the last candidate in the file.
  std::string matching = std::string("PK\x05\x06", 4) + std::string(16, '\0') + std::string("\x03\x00", 2) + "abc";
  const std::string withMatching = BuildZip({{.name = "a.txt", .data = "hello"}}, matching);

  EXPECT_EQ(FindEnd(plain), plainEnd);
  EXPECT_EQ(FindEnd(withFake), withFake.size() - 22 - fake.size());
  EXPECT_EQ(FindEnd(withMatching), withMatching.size() - 25);
  EXPECT_EQ(FindEnd(plain.substr(0, plain.size() - 1)), std::nullopt);   // cut record
  EXPECT_EQ(FindEnd(plain + "junk"), std::nullopt);                       // bytes after the record
  EXPECT_EQ(FindEnd(std::string("PK\x05\x06", 4)), std::nullopt);         // shorter than a record
}

TEST(ZipEndRecord, FindsTheRecordBehindAMaximalComment) {
  const std::string comment(65535, 'c');
  const std::string file = BuildZip({{.name = "a.txt", .data = "hello"}}, comment);
  EXPECT_EQ(FindEnd(file), file.size() - 22 - 65535);
}

TEST(ZipCentralEntry, TakesZip64FieldsOnlyForMarkedHeaderFields) {
  struct Case {
    uint32_t usize, csize, offset;
    uint16_t disk;
    std::string block;  // Zip64 block data
    uint64_t wantUsize, wantCsize, wantOffset;
    uint16_t wantDisk;
  };
  auto u64 = [](uint64_t v) {
    std::string s;
    for (int i = 0; i < 8; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
  };
  const std::vector<Case> cases = {
      {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF, u64(5'000'000'000) + u64(7) + u64(9) + std::string("\x02\x00\x00\x00", 4),
       5'000'000'000, 7, 9, 2},
      {10, 0xFFFFFFFF, 3, 0, u64(6'000'000'000), 10, 6'000'000'000, 3, 0},  // only the compressed size
      {0xFFFFFFFF, 4, 0xFFFFFFFF, 0, u64(11) + "\x01\x02", 11, 4, 0xFFFFFFFF, 0},  // block cut short
  };
  for (const Case& c : cases) {
    std::string h(46, '\0');
    auto put = [&](size_t at, uint64_t v, int n) {
      for (int i = 0; i < n; ++i) h[at + i] = static_cast<char>(v >> (8 * i));
    };
    put(0, 0x02014b50, 4);
    put(20, c.csize, 4);
    put(24, c.usize, 4);
    put(28, 1, 2);
    std::string extra;
    extra += std::string("\x99\x99\x02\x00zz", 6);  // an unrelated block first
    extra += std::string("\x01\x00", 2) + static_cast<char>(c.block.size()) + '\0' + c.block;
    put(30, extra.size(), 2);
    put(34, c.disk, 2);
    put(42, c.offset, 4);
    h += "n" + extra;
    TZKDirItem item;
    ASSERT_EQ(zipfmt::ParseCentralEntry(reinterpret_cast<const uint8_t*>(h.data()), h.size(), true, item), h.size());
    EXPECT_TRUE(item.HasZip64);
    EXPECT_EQ(item.UncompressedSize64, c.wantUsize);
    EXPECT_EQ(item.CompressedSize64, c.wantCsize);
    EXPECT_EQ(item.LocalHeaderOffset64, c.wantOffset);
    EXPECT_EQ(item.DiskStart64, c.wantDisk);
  }
}

TEST(ZipCentralEntry, RejectsWrongSignatureAndTruncatedHeader) {
  const std::string file = BuildZip({{.name = "abc.txt", .data = "x"}});
  const size_t cd = file.size() - 22 - (46 + 7);
  const auto* p = reinterpret_cast<const uint8_t*>(file.data()) + cd;
  TZKDirItem item;
  EXPECT_EQ(zipfmt::ParseCentralEntry(p, 46 + 7, true, item), 46u + 7);
  EXPECT_EQ(item.Name, "abc.txt");
  EXPECT_EQ(zipfmt::ParseCentralEntry(p, 46 + 6, true, item), 0u);
  EXPECT_EQ(zipfmt::ParseCentralEntry(p + 1, 46 + 6, true, item), 0u);
}

TEST(ZipEntryName, ConvertsCodePagesSeparatorsAndLength) {
  struct Case {
    std::string raw;
    uint16_t flags;
    bool oem;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"sub\\dir\\f.txt", 0, true, "sub/dir/f.txt"},
      {"caf\x82.txt", 0, true, "caf\xE9.txt"},        // OEM 850 é
      {"caf\x82.txt", 0, false, "caf\x82.txt"},       // kept when OEM names are off
      {"caf\xC3\xA9.txt", 0x0800, true, "caf\xE9.txt"},  // UTF-8 flag wins over OEM
      {std::string(1200, 'n'), 0, true, std::string(1000, 'n')},
  };
  for (const Case& c : cases) EXPECT_EQ(zipfmt::ConvertEntryName(c.raw, c.flags, c.oem, 1000), c.want) << c.raw;
}

TEST(ZipMask, SelectsLikeWindowsMasks) {
  struct Case {
    const char* mask;
    const char* name;
    bool want;
  };
  const Case cases[] = {
      {"*.*", "docs/", true},          {"*.*", "bin/a.dll", true},      {"*.*", "noext", true},
      {"*", "bin/a.dll", true},        {"*.", "bin/a.dll", false},      {"*.", "readme", true},
      {"*.", "docs/", true},           {"*.", "v1.0/readme", true},     {"?.txt", "ab.txt", false},
      {"??.txt", "ab.txt", true},      {"?.txt", "a.txt", true},        {"*.DLL", "bin/A.dll", true},
      {"a.dll", "bin/a.dll", true},    {"bin\\*.dll", "bin/a.dll", true}, {"bin/*.dll", "lib/a.dll", false},
      {"*.txt", "a.txt.bak", false},   {"a*b*c", "aXXbYYc", true},      {"a*b*c", "aXXbYY", false},
      {"\xC9T\xC9.txt", "\xE9t\xE9.txt", true},  // accented letters fold too
  };
  for (const Case& c : cases) EXPECT_EQ(ZKMatchesMask(c.name, c.mask), c.want) << c.mask << " vs " << c.name;
}

TEST(ZipMask, RefusesNamesLeavingTheBaseFolder) {
  const std::pair<std::string, bool> cases[] = {
      {"bin/a.dll", true},     {"docs/", true},         {"./a.txt", true},      {"a..b/c", true},
      {"../evil.txt", false},  {"a/../../evil", false}, {"a/..", false},        {"/etc/passwd", false},
      {"\\abs.txt", false},    {"C:/x.txt", false},     {"c:x.txt", false},     {"//server/share/x", false},
      {"a//b", false},         {"a\\..\\b", false},     {std::string("a\0b", 3), false},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(ZKIsSafeEntryName(name), safe) << name;
}

TEST(ZipChunk, AtMostOneMebibyteHalvedUnderMemoryPressure) {
  constexpr uint64_t kMiB = 1 << 20;
  EXPECT_EQ(ZKChunkSize(10 * kMiB, 1.0, 0), kMiB);  // unknown memory: no reduction
  EXPECT_EQ(ZKChunkSize(10 * kMiB, 1.0, 64ull << 30), kMiB);
  EXPECT_EQ(ZKChunkSize(1000, 1.0, 64ull << 30), 1000u);
  // 20 × 4 × chunk must stay below the memory: 8 MiB allows 64 KiB chunks.
  EXPECT_EQ(ZKChunkSize(10 * kMiB, 4.0, 8 * kMiB), 64u * 1024);
  // Halving stops below 512 bytes however little memory there is.
  const size_t tiny = ZKChunkSize(10 * kMiB, 1.0, 1);
  EXPECT_LT(tiny, 512u);
  EXPECT_GE(tiny, 256u);
}

TEST(ZipMessages, ComponentPrefixAndNativeErrorSuffix) {
  EXPECT_STREQ(MakeZKException("Archiver", 8).what(),
               "Archiver: Invalid size or check sum of file or unsupported compression format - Native error: 00008");
  EXPECT_STREQ(MakeZKException("", 35).what(), "Invalid archive file. - Native error: 00035");
  EXPECT_STREQ(MakeZKException("Archiver", 19, "C:\\x\\a.txt").what(),
               "Archiver: Cannot create file \"C:\\x\\a.txt\" - Native error:    19");
  EXPECT_EQ(MakeZKException("Archiver", 55).Code(), 55);
  EXPECT_STREQ(ZKMessageText(40), "Cannot find Zip64 directory end record");
  EXPECT_STREQ(ZKMessageText(48), "Archive is damaged. Open failed");
}

}  // namespace
}  // namespace duz
