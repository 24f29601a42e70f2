// Page manager of a database file: header blocks, page I/O at file
// positions, page encryption, the allocation maps, file-area locks and the
// commit protocol (state byte 1 while a commit is written, 2 after).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "sqlengine/storage/database_file.h"
#include "sqlengine/storage/file_header.h"
#include "sqlengine/storage/free_space_manager.h"
#include "sqlengine/storage/orq_password.h"
#include "sqlengine/storage/page_cipher.h"
#include "sqlengine/storage/page_manager.h"
#include "sqlengine/storage/table_pages_cache_manager.h"

namespace duz {

struct TORQCreateParams {
  TORQPassword Password;
  uint16_t PageSize = 4096;
  uint16_t PagesPerExtent = 8;
};

class TORQDiskPageManager : public TORQPageManager, private TORQMapPageStore {
 public:
  TORQDiskPageManager();
  ~TORQDiskPageManager() override;

  // Writes the header blocks of a new, empty file (no pages yet).
  void CreateDatabase(const std::string& fileName, const TORQCreateParams& params);
  // Opens an existing file: base offset, header, password check, block
  // positions. Read-only is forced when the file cannot be written.
  void OpenDatabase(const std::string& fileName, const TORQPassword& password, bool readOnly, bool exclusive,
                    bool multiUser);
  void CloseDatabase();
  bool IsOpen() const { return file_.IsOpen(); }

  const TORQMainHeader& Header() const { return header_; }
  const TORQCryptoBlock& CryptoBlock() const { return crypto_; }
  uint64_t BaseOffset() const { return base_; }
  bool ReadOnly() const { return readOnly_; }
  bool Exclusive() const { return exclusive_; }
  bool MultiUser() const { return multiUser_; }
  void SetMultiUser(bool value) { multiUser_ = value; }
  bool NeedsRepair() const { return needsRepair_; }
  bool Encrypted() const { return header_.IsEncrypted(); }
  uint8_t SessionCipherId() const { return crypto_.CipherId; }
  const std::string& FileName() const { return file_.FileName(); }
  TORQDatabaseFile& File() { return file_; }
  TORQDatabaseFreeSpaceManager& FreeSpace() { return *fsm_; }
  TORQDiskTablePagesCacheManager& TablePagesCache() { return tableCache_; }

  uint64_t PagePosition(int32_t pageNo) const;
  bool IsMapPage(int32_t pageNo) const;

  // TORQPageManager
  int32_t GetTotalPageCount() override;
  bool IsPageValidated(int32_t sessionId, TORQPage& page) override;
  void SetPageValidated(int32_t sessionId, TORQPage& page) override;
  void AllocatePageNo(TORQPage& page) override;
  void FreePageNo(int32_t pageNo) override;
  bool ReadPage(TORQPage& page) override;
  void WritePage(TORQPage& page) override;
  void FreePage(int32_t sessionId, int32_t pageNo) override;
  TORQPage* GetPage(int32_t sessionId, int32_t pageNo, bool validate, uint8_t pageType) override;
  void CommitSession(int32_t sessionId) override;

  // File lock (byte 360): re-entrant within the process.
  void LockFile(int errorNumber);
  void UnlockFile();
  // A single byte relative to the base offset, with retries attempts x delay.
  bool LockArea(uint64_t offset, int attempts, unsigned delayMs);
  bool UnlockArea(uint64_t offset);
  bool TestArea(uint64_t offset);  // lock and release: true when free

  // Straight file access relative to the base offset (direct internal files).
  void ReadDirect(uint64_t offset, void* buffer, size_t count, int readError);
  void WriteDirect(uint64_t offset, const void* buffer, size_t count, int writeError);

  int32_t NewObjectId();
  void Truncate();
  void FlushFile();
  // Re-reads the dynamic header fields (counts, commit counter, state).
  void ReadHeader();
  void WriteHeader();

  // Called after the state byte 1 was written and before any page of the
  // commit; lets tests stop a process in the middle of a commit.
  std::function<void()> OnCommitStarted;

 private:
  // TORQMapPageStore
  void ReadMapPage(int32_t pageNo, uint8_t* buffer) override;
  void WriteMapPage(int32_t pageNo, const uint8_t* buffer) override;
  void SetPageCount(int32_t totalPages) override;
  void MarkPageFreed(int32_t pageNo) override;

  void ReadFullHeader(uint64_t position);
  const TORQPageCipher& CipherFor(uint8_t cipherId);
  void ValidateAgainstFile(TORQPage& page) override;
  void ResetState();

  TORQDatabaseFile file_;
  uint64_t base_ = 0;
  TORQMainHeader header_;
  TORQCryptoBlock crypto_;
  uint64_t cryptoOffset_ = kMainHeaderSize;
  uint64_t lockBlockOffset_ = kMainHeaderSize + kCryptoBlockSize;
  uint64_t nextObjectIdOffset_ = kMainHeaderSize + kCryptoBlockSize + kLockBlockSize;
  TORQPassword password_;
  std::map<uint8_t, std::unique_ptr<TORQPageCipher>> ciphers_;
  std::unique_ptr<TORQDatabaseFreeSpaceManager> fsm_;
  std::unique_ptr<TORQFreeSpaceMap> map_;
  TORQDiskTablePagesCacheManager tableCache_;
  bool readOnly_ = false;
  bool exclusive_ = false;
  bool multiUser_ = false;
  bool needsRepair_ = false;
  int fileLockCount_ = 0;
  uint64_t fileLockPosition_ = kFileLockByte;
};

}  // namespace duz
