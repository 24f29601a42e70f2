// Byte layout of the blocks at the start of a database file and the search
// for a database image stored after other data.
#include <gtest/gtest.h>

#include "sqlengine/orq_exception.h"

#include <cstring>
#include <vector>

#include "sqlengine/storage/file_header.h"
#include "sqlengine/storage/page_header.h"
#include "sqlengine/storage/page_types.h"

namespace duz {
namespace {

TEST(PageTypes, NamesAndUnknownType) {
  const char* expected[] = {"Unknown Page",       "Empty Page",       "EAM Page",
                            "PFS Page",           "FileSystemDirectory Page", "ActiveSessionList Page",
                            "TableList Page",     "TableLocks Page",  "TableMetaData Page",
                            "TableMostUpdated Page", "TableRecord Page", "TableBlob Page",
                            "TableIndex Page"};
  for (int i = 0; i <= 12; ++i) EXPECT_EQ(PageTypeName(i), expected[i]) << i;
  try {
    PageTypeName(13);
    FAIL();
  } catch (const EORQException& e) {
    EXPECT_EQ(e.NativeError(), 30382);
    EXPECT_STREQ(e.what(), "Unknown Page Type: (13) - Native error: 30382");
  }
}

TEST(MainHeader, FieldsAtTheirOffsets) {
  TORQMainHeader h;
  h.PageSize = 16224;
  h.PagesPerExtent = 64;
  h.TotalPageCount = 0x01020304;
  h.HighestPageInUse = -1;
  h.CommitCounter = 7;
  h.State = kStateCommitting;
  h.Encrypted = 0xFF;
  auto b = h.Encode();
  ASSERT_EQ(b.size(), 76u);
  EXPECT_EQ(std::memcmp(b.data(), "ORQSTONEDATABASE", 16), 0);
  EXPECT_EQ(b[16], 76);
  EXPECT_EQ(b[17], 0);
  const uint8_t version[8] = {0x71, 0x3D, 0x0A, 0xD7, 0xA3, 0x70, 0x1E, 0x40};
  EXPECT_EQ(std::memcmp(&b[18], version, 8), 0);
  EXPECT_EQ(b[26] | (b[27] << 8), 16224);
  EXPECT_EQ(b[28] | (b[29] << 8), 64);
  EXPECT_EQ(b[30], 0x04);
  EXPECT_EQ(b[33], 0x01);
  for (int i = 34; i < 38; ++i) EXPECT_EQ(b[i], 0xFF);
  EXPECT_EQ(b[38], 7);
  EXPECT_EQ(b[42], 1);
  EXPECT_EQ(b[43], 0xFF);
  for (int i = 44; i < 76; ++i) EXPECT_EQ(b[i], 0) << i;

  TORQMainHeader back = TORQMainHeader::Decode(b.data());
  EXPECT_EQ(back.PageSize, 16224);
  EXPECT_EQ(back.TotalPageCount, 0x01020304);
  EXPECT_EQ(back.HighestPageInUse, -1);
  EXPECT_DOUBLE_EQ(back.FormatVersion, 7.61);
  EXPECT_TRUE(back.IsEncrypted());
}

TEST(CryptoAndLockBlocks, Layout) {
  TORQCryptoBlock c;
  c.CipherId = 5;
  for (int i = 0; i < 256; ++i) c.CheckBlock[i] = static_cast<uint8_t>(i);
  c.CheckSum = 0xA1B2C3D4;
  auto b = c.Encode();
  ASSERT_EQ(b.size(), 280u);
  EXPECT_EQ(b[0] | (b[1] << 8), 280);
  EXPECT_EQ(b[2], 5);
  EXPECT_EQ(b[3], 0);
  EXPECT_EQ(b[4], 0);
  EXPECT_EQ(b[4 + 255], 255);
  EXPECT_EQ(b[260], 0xD4);
  EXPECT_EQ(b[263], 0xA1);
  for (int i = 264; i < 280; ++i) EXPECT_EQ(b[i], 0);
  auto lock = EncodeLockBlock();
  ASSERT_EQ(lock.size(), 20u);
  EXPECT_EQ(lock[0], 20);
  for (int i = 1; i < 20; ++i) EXPECT_EQ(lock[i], 0);
  EXPECT_EQ(kPagesOffset, 380u);
}

TEST(PageHeader, InitialValuesAndCounterWrap) {
  std::vector<uint8_t> page(4096, 0xAA);
  TORQPageHeader h(page.data());
  h.Init(ptTableRecord, 1234);
  EXPECT_EQ(std::memcmp(page.data(), "ORQP", 4), 0);
  EXPECT_EQ(h.ChangeCounter(), 1234);
  EXPECT_EQ(page[8], 10);
  EXPECT_EQ(h.NextPage(), -1);
  EXPECT_EQ(h.Checksum(), 0u);
  EXPECT_EQ(page[20], 0);
  EXPECT_EQ(h.TableId(), -1);
  EXPECT_EQ(page[40], 0xAA) << "the data area is not touched";

  EXPECT_EQ(NextChangeCounter(0), 1);
  EXPECT_EQ(NextChangeCounter(0x7FFFFFFB), 0x7FFFFFFC);
  EXPECT_EQ(NextChangeCounter(0x7FFFFFFC), 0);
  EXPECT_EQ(NextChangeCounter(0x7FFFFFFE), 0);
  for (int i = 0; i < 1000; ++i) {
    int32_t c = RandomInitialChangeCounter();
    ASSERT_GE(c, 0);
    ASSERT_LT(c, 0x3FFFFFFF);
  }
}

// A file image with a database header placed at a given offset.
struct FileImage {
  std::vector<uint8_t> bytes;
  size_t Read(uint64_t pos, uint8_t* buf, size_t n) const {
    if (pos >= bytes.size()) return 0;
    size_t k = std::min<size_t>(n, bytes.size() - pos);
    std::memcpy(buf, bytes.data() + pos, k);
    return k;
  }
};

FileImage ImageAt(size_t offset, uint16_t headerSize = 76, size_t total = 40000) {
  FileImage f;
  f.bytes.assign(total, 'x');
  TORQMainHeader h;
  h.HeaderSize = headerSize;
  auto b = h.Encode();
  std::memcpy(f.bytes.data() + offset, b.data(), b.size());
  return f;
}

TEST(BaseOffset, FindsTheImageWhereverItStarts) {
  // 9983 and 19967 start 17 bytes before a window end: an overlap of only 16
  // bytes would miss them.
  for (size_t offset : {size_t{0}, size_t{1}, size_t{5000}, size_t{9982}, size_t{9983}, size_t{9984},
                        size_t{19966}, size_t{19967}, size_t{19968}, size_t{39000}}) {
    FileImage f = ImageAt(offset);
    EXPECT_EQ(FindBaseOffset(f.bytes.size(), [&](uint64_t p, uint8_t* b, size_t n) { return f.Read(p, b, n); }),
              offset);
  }
}

TEST(BaseOffset, SignatureWithAnotherHeaderSizeIsNoDatabase) {
  FileImage f = ImageAt(3000, 77);
  EXPECT_EQ(FindBaseOffset(f.bytes.size(), [&](uint64_t p, uint8_t* b, size_t n) { return f.Read(p, b, n); }), 0u);
  FileImage g = ImageAt(0, 75);
  EXPECT_EQ(FindBaseOffset(g.bytes.size(), [&](uint64_t p, uint8_t* b, size_t n) { return g.Read(p, b, n); }), 0u);
  // The first match wins when a wrong one comes earlier.
  FileImage h = ImageAt(12000);
  TORQMainHeader wrong;
  wrong.HeaderSize = 80;
  auto b = wrong.Encode();
  std::memcpy(h.bytes.data() + 100, b.data(), b.size());
  EXPECT_EQ(FindBaseOffset(h.bytes.size(), [&](uint64_t p, uint8_t* x, size_t n) { return h.Read(p, x, n); }),
            12000u);
}

}  // namespace
}  // namespace duz
