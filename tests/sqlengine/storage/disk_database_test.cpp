// Database files as written and opened: byte layout of a new file, every
// cipher, base offsets, damaged headers, the table list and object ids.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "crypto/crc32.h"
#include "sqlengine/storage/disk_database_data.h"
#include "sqlengine/storage/page_cipher.h"
#include "storage_fixture.h"
#include "support/temp_dir.h"

namespace duz {
namespace {

using test::I32;
using test::NativeErrorOf;
using test::ReadAll;
using test::U16;

void CreateDb(const std::string& path, TORQDatabaseCreateParams p = {}) {
  TORQDiskDatabaseData db;
  db.CreateDatabase(path, p);
}

TEST(DiskDatabase, NewFileLayout) {
  test::TempDir dir;
  const std::string path = dir / "new.fdb";
  CreateDb(path);
  auto b = ReadAll(path);
  ASSERT_EQ(b.size(), 24956u);  // 380 + 6 x 4096
  EXPECT_EQ(std::memcmp(b.data(), "ORQSTONEDATABASE", 16), 0);
  EXPECT_EQ(U16(b, 16), 76);
  const uint8_t version[8] = {0x71, 0x3D, 0x0A, 0xD7, 0xA3, 0x70, 0x1E, 0x40};
  EXPECT_EQ(std::memcmp(&b[18], version, 8), 0);
  EXPECT_EQ(U16(b, 26), 4096);
  EXPECT_EQ(U16(b, 28), 8);
  EXPECT_EQ(I32(b, 30), 6);
  EXPECT_EQ(I32(b, 34), 4);  // directory, sessions file, table list
  EXPECT_EQ(I32(b, 38), 1);  // one commit
  EXPECT_EQ(b[42], 2);
  EXPECT_EQ(b[43], 0);
  EXPECT_EQ(U16(b, 76), 280);
  for (int i = 78; i < 356; ++i) ASSERT_EQ(b[i], 0) << i;
  EXPECT_EQ(U16(b, 356), 20);
  EXPECT_EQ(I32(b, 376), 0);
  const uint16_t types[] = {3, 2, 4, 5, 6};
  for (int p = 0; p < 5; ++p) {
    size_t at = 380 + static_cast<size_t>(p) * 4096;
    EXPECT_EQ(std::memcmp(&b[at], "ORQP", 4), 0) << p;
    EXPECT_EQ(U16(b, at + 8), types[p]) << p;
  }
  EXPECT_EQ(b[380 + 40], 0x1F) << "PFS: pages 0-4 used";
  EXPECT_EQ(b[380 + 4096 + 40], 0x01) << "EAM: extent 0 partly used";
  // The system directory: kind 2 -> page 3, kind 1 -> page 4.
  size_t dirData = 380 + 2 * 4096 + 40;
  EXPECT_EQ(b[dirData], 10);
  EXPECT_EQ(I32(b, dirData + 1), 10);
  EXPECT_EQ(b[dirData + 10], 2);
  EXPECT_EQ(I32(b, dirData + 11), 3);
  EXPECT_EQ(b[dirData + 15], 1);
  EXPECT_EQ(I32(b, dirData + 16), 4);
  // The active sessions file holds 500 slot bytes.
  EXPECT_EQ(I32(b, 380 + 3 * 4096 + 41), 500);
}

TEST(DiskDatabase, PageSizeNeedNotBeAPowerOfTwo) {
  test::TempDir dir;
  const std::string path = dir / "big.fdb";
  TORQDatabaseCreateParams p;
  p.PageSize = 16224;
  p.PagesPerExtent = 64;
  CreateDb(path, p);
  EXPECT_EQ(ReadAll(path).size(), 380u + 6 * 16224);
  TORQDiskDatabaseData db;
  db.OpenDatabase(path, {}, false, false, false);
  EXPECT_EQ(db.Pages().Header().PageSize, 16224);
  EXPECT_EQ(db.Pages().PagePosition(5), 380u + 5 * 16224);
  db.CreateTable("T", std::string(40000, 'm'), "x");
  EXPECT_EQ(db.ReadTableMetadata(0, db.FindTable("t")), std::string(40000, 'm'));
}

TEST(DiskDatabase, EveryCipherEncryptsTransactedPagesOnly) {
  for (uint8_t id = 0; id <= 7; ++id) {
    SCOPED_TRACE(CipherName(id));
    test::TempDir dir;
    const std::string path = dir / "enc.fdb";
    TORQDatabaseCreateParams p;
    p.Password = {"S3cret", id};
    CreateDb(path, p);
    {
      TORQDiskDatabaseData db;
      db.OpenDatabase(path, {"S3cret", 0}, false, false, false);
      db.CreateTable("Customers", std::string(5000, 'c'), "most");
    }
    auto b = ReadAll(path);
    EXPECT_EQ(b[43], 0xFF);
    EXPECT_EQ(b[78], id);
    // The check block decrypts to bytes whose checksum is stored.
    std::vector<uint8_t> check(b.begin() + 80, b.begin() + 336);
    ASSERT_TRUE(DecryptBuffer({"S3cret", id}, id, check.data(), check.size()));
    EXPECT_EQ(crypto::PageChecksum(check.data(), check.size()), static_cast<uint32_t>(I32(b, 336)));
    // The system directory page: encrypted, cipher id and checksum set.
    size_t dirPage = 380 + 2 * 4096;
    EXPECT_EQ(b[dirPage + 20], id);
    std::vector<uint8_t> data(b.begin() + dirPage + 40, b.begin() + dirPage + 4096);
    EXPECT_NE(data[0], 10) << "file header is not in clear";
    ASSERT_TRUE(DecryptBuffer({"S3cret", id}, id, data.data(), data.size()));
    EXPECT_EQ(data[0], 10);
    EXPECT_EQ(crypto::PageChecksum(data.data(), data.size()), static_cast<uint32_t>(I32(b, dirPage + 14)));
    // Maps and the sessions file stay plain.
    EXPECT_EQ(b[380 + 20], 0);
    EXPECT_EQ(b[380 + 3 * 4096 + 20], 0);
    EXPECT_EQ(I32(b, 380 + 3 * 4096 + 41), 500);

    TORQDiskDatabaseData db;
    db.OpenDatabase(path, {"S3cret", 0}, false, false, false);
    EXPECT_EQ(db.ReadTableMetadata(0, db.FindTable("CUSTOMERS")), std::string(5000, 'c'));
    db.CloseDatabase();
    EXPECT_EQ(NativeErrorOf([&] { db.OpenDatabase(path, {"s3cret", id}, false, false, false); }), 30445);
    EXPECT_FALSE(db.IsOpen());
  }
}

TEST(DiskDatabase, WrongPasswordIsRejectedBeforeAnyPageIsRead) {
  test::TempDir dir;
  const std::string path = dir / "enc.fdb";
  TORQDatabaseCreateParams p;
  p.Password = {"pw", 1};
  CreateDb(path, p);
  // Damage the system directory: only a page read could notice.
  auto b = ReadAll(path);
  for (size_t i = 380 + 2 * 4096 + 40; i < 380 + 3 * 4096; ++i) b[i] ^= 0x5A;
  test::WriteAll(path, b);
  TORQDiskDatabaseData db;
  EXPECT_EQ(NativeErrorOf([&] { db.OpenDatabase(path, {"wrong", 1}, false, false, false); }), 30445);
  EXPECT_EQ(NativeErrorOf([&] { db.OpenDatabase(path, {"pw", 1}, false, false, false); }), 30446);
}

TEST(DiskDatabase, ImageAfterOtherDataOpensAtItsBaseOffset) {
  test::TempDir dir;
  const std::string plain = dir / "plain.fdb";
  CreateDb(plain);
  {
    TORQDiskDatabaseData db;
    db.OpenDatabase(plain, {}, false, false, false);
    db.CreateTable("Products", "meta", "mu");
  }
  for (size_t prefix : {size_t{100}, size_t{9983}, size_t{19967}}) {
    SCOPED_TRACE(prefix);
    const std::string path = dir / "stub.exe";
    std::vector<uint8_t> image(prefix, 0x4D);
    auto db = ReadAll(plain);
    image.insert(image.end(), db.begin(), db.end());
    test::WriteAll(path, image);
    TORQDiskDatabaseData data;
    data.OpenDatabase(path, {}, false, false, true);
    EXPECT_EQ(data.Pages().BaseOffset(), prefix);
    EXPECT_EQ(data.TableNames(), std::vector<std::string>{"Products"});
    data.CreateTable("Orders", "m2", "u2");
    EXPECT_EQ(data.ReadTableMetadata(0, data.FindTable("orders")), "m2");
    // Lock bytes move with the base: the tables lock sits at base + 359.
    data.LockTables();
    os::File other = os::File::Open(path, os::FileAccess::Read, os::FileShare::DenyNone, os::FileCreate::OpenExisting);
    EXPECT_FALSE(other.Lock(prefix + 359, 1));
    EXPECT_TRUE(other.Lock(359, 1));
    data.UnlockTables();
    EXPECT_TRUE(other.Lock(prefix + 359, 1));
    auto after = ReadAll(path);
    EXPECT_EQ(std::vector<uint8_t>(after.begin(), after.begin() + prefix), std::vector<uint8_t>(prefix, 0x4D));
  }
}

TEST(DiskDatabase, DamagedHeadersAreRefused) {
  test::TempDir dir;
  const std::string good = dir / "good.fdb";
  CreateDb(good);
  struct Case {
    const char* what;
    size_t offset;
    std::vector<uint8_t> bytes;
    int error;
  } cases[] = {
      {"header size 77", 16, {77, 0}, 10470},
      {"signature", 0, {'X'}, 10470},
      {"crypto block size", 76, {0x19, 0x01}, 20237},
      {"lock block size", 356, {21, 0}, 20237},
      {"page size", 26, {0, 0}, 20237},
  };
  for (const auto& c : cases) {
    auto b = ReadAll(good);
    std::copy(c.bytes.begin(), c.bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(c.offset));
    const std::string path = dir / "bad.fdb";
    test::WriteAll(path, b);
    TORQDiskDatabaseData db;
    EXPECT_EQ(NativeErrorOf([&] { db.OpenDatabase(path, {}, false, false, false); }), c.error) << c.what;
  }
  TORQDiskDatabaseData db;
  EXPECT_EQ(NativeErrorOf([&] { db.OpenDatabase(dir / "missing.fdb", {}, false, false, false); }), 30364);
  EXPECT_EQ(NativeErrorOf([&] { db.CreateDatabase("", {}); }), 30374);
  db.OpenDatabase(good, {}, false, false, false);
  EXPECT_EQ(NativeErrorOf([&] { db.OpenDatabase(good, {}, false, false, false); }), 10462);
}

TEST(DiskDatabase, StateByteAndOldVersionNeedRepair) {
  test::TempDir dir;
  const std::string path = dir / "r.fdb";
  CreateDb(path);
  {
    TORQDiskDatabaseData db;
    db.OpenDatabase(path, {}, false, false, false);
    EXPECT_FALSE(db.NeedsRepair());
  }
  auto b = ReadAll(path);
  b[42] = 1;
  test::WriteAll(path, b);
  {
    TORQDiskDatabaseData db;
    db.OpenDatabase(path, {}, false, false, false);
    EXPECT_TRUE(db.NeedsRepair());
  }
  b[42] = 2;
  const uint8_t v2_5[8] = {0, 0, 0, 0, 0, 0, 4, 0x40};  // 2.5
  std::memcpy(&b[18], v2_5, 8);
  test::WriteAll(path, b);
  TORQDiskDatabaseData db;
  db.OpenDatabase(path, {}, false, false, false);
  EXPECT_TRUE(db.NeedsRepair());
}

TEST(DiskDatabase, ReadOnlyFileOpensReadOnly) {
  test::TempDir dir;
  const std::string path = dir / "ro.fdb";
  CreateDb(path);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  TORQDiskDatabaseData db;
  db.OpenDatabase(path, {}, false, false, false);
  EXPECT_TRUE(db.ReadOnly());
  EXPECT_TRUE(db.TableNames().empty());
  // Object ids in a read-only file are not written back.
  int32_t a = db.NewObjectId();
  EXPECT_GE(a, 1);
  EXPECT_LT(a, 10001);
  EXPECT_EQ(I32(ReadAll(path), 376), 0);
}

TEST(DiskDatabase, TableListNamesAreUniqueWithoutRegardToCase) {
  test::TempDir dir;
  const std::string path = dir / "t.fdb";
  CreateDb(path);
  {
    TORQDiskDatabaseData db;
    db.OpenDatabase(path, {}, false, false, false);
    int32_t a = db.CreateTable("Clients", "meta-a", "most-a");
    int32_t b = db.CreateTable("Factures", "meta-b", "most-b");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(NativeErrorOf([&] { db.CreateTable("CLIENTS", "", ""); }), 30395);
    EXPECT_EQ(NativeErrorOf([&] { db.FindTable("Nope"); }), 30396);
    EXPECT_EQ(NativeErrorOf([&] { db.RenameTable("Nope", "X"); }), 30397);
    EXPECT_EQ(NativeErrorOf([&] { db.RemoveTableEntry("Nope"); }), 30405);
    EXPECT_EQ(NativeErrorOf([&] { db.RenameTable("clients", "FACTURES"); }), 30395);
    db.RenameTable("clients", "Customers");
    for (int i = 0; i < 20; ++i) db.CreateTable("T" + std::to_string(i), std::string(3000, char('a' + i)), "m");
    db.DropTable("t5");
    EXPECT_EQ(db.TableNames().size(), 21u);
  }
  TORQDiskDatabaseData db;
  db.OpenDatabase(path, {}, false, false, false);
  auto names = db.TableNames();
  ASSERT_EQ(names.size(), 21u);
  EXPECT_EQ(names[0], "Customers");
  auto e = db.FindTable("customers");
  EXPECT_EQ(e.TableId, 1);
  EXPECT_EQ(db.ReadTableMetadata(0, e), "meta-a");
  EXPECT_EQ(db.ReadTableMostUpdated(0, e), "most-a");
  EXPECT_EQ(db.ReadTableMetadata(0, db.FindTable("T19")), std::string(3000, 't'));
  // Metadata is stored zlib-compressed: algorithm byte 1, stored < logical.
  auto b = ReadAll(path);
  size_t meta = 380 + static_cast<size_t>(db.FindTable("T19").MetadataStart) * 4096 + 40;
  EXPECT_EQ(b[meta + 9], 1);
  EXPECT_LT(I32(b, meta + 1), I32(b, meta + 5));
  EXPECT_EQ(I32(b, meta + 5), 3000);
  EXPECT_EQ(I32(b, 376), 22) << "next object id word";
  EXPECT_EQ(db.NewObjectId(), 23);
  auto problems = db.Pages().FreeSpace().Check();
  EXPECT_TRUE(problems.empty());
}

TEST(DiskDatabase, DroppedTablesGiveTheirPagesBack) {
  test::TempDir dir;
  const std::string path = dir / "d.fdb";
  CreateDb(path);
  TORQDiskDatabaseData db;
  db.OpenDatabase(path, {}, false, false, false);
  const int32_t highest = db.Pages().Header().HighestPageInUse;
  for (int i = 0; i < 30; ++i) db.CreateTable("T" + std::to_string(i), std::string(20000, 'x'), "m");
  EXPECT_GT(db.Pages().GetTotalPageCount(), 30);
  for (int i = 0; i < 30; ++i) db.DropTable("T" + std::to_string(i));
  db.Pages().GetTotalPageCount();
  EXPECT_EQ(db.Pages().Header().HighestPageInUse, highest);
  db.Pages().Truncate();
  EXPECT_EQ(ReadAll(path).size(), 380u + static_cast<size_t>(highest + 1) * 4096);
  EXPECT_TRUE(db.Pages().FreeSpace().Check().empty());
  db.CreateTable("Again", "m", "u");
  EXPECT_EQ(db.ReadTableMetadata(0, db.FindTable("again")), "m");
}

}  // namespace
}  // namespace duz
