#include "sqlengine/storage/disk_page_manager.h"

#include <cstring>
#include <vector>

#include "crypto/crc32.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "sqlengine/storage/byte_order.h"
#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_types.h"

namespace duz {

namespace {
constexpr int kFileLockAttempts = 4500;
constexpr unsigned kFileLockDelay = 20;
// Pages of direct internal files are never encrypted.
bool IsDirectFilePageType(uint16_t type) { return type == ptActiveSessionList || type == ptTableLocks; }
}  // namespace

TORQDiskPageManager::TORQDiskPageManager() : TORQPageManager(4096, kPageHeaderSize) {}

TORQDiskPageManager::~TORQDiskPageManager() { file_.Close(); }

void TORQDiskPageManager::ResetState() {
  base_ = 0;
  header_ = TORQMainHeader();
  crypto_ = TORQCryptoBlock();
  ciphers_.clear();
  fsm_.reset();
  map_.reset();
  readOnly_ = exclusive_ = needsRepair_ = false;
  fileLockCount_ = 0;
  fileLockPosition_ = kFileLockByte;
  DiscardAllCachedPages();
}

uint64_t TORQDiskPageManager::PagePosition(int32_t pageNo) const {
  return base_ + kPagesOffset + static_cast<uint64_t>(pageNo) * header_.PageSize;
}

bool TORQDiskPageManager::IsMapPage(int32_t pageNo) const { return map_ && map_->IsMapPage(pageNo); }

void TORQDiskPageManager::CreateDatabase(const std::string& fileName, const TORQCreateParams& params) {
  if (file_.IsOpen()) RaiseORQFmt(10461, "Error - database file %s is in use.", file_.FileName().c_str());
  if (params.PageSize <= kPageHeaderSize + 16 || params.PagesPerExtent == 0)
    RaiseORQ(20237, "Invalid database format");
  ResetState();
  file_.Create(fileName);
  try {
    header_.PageSize = params.PageSize;
    header_.PagesPerExtent = params.PagesPerExtent;
    password_ = params.Password;
    if (!params.Password.IsEmpty()) {
      header_.Encrypted = 0xFF;
      crypto_.CipherId = params.Password.CipherId;
      for (auto& b : crypto_.CheckBlock) b = static_cast<uint8_t>(os::Random(256));
      crypto_.CheckSum = crypto::PageChecksum(crypto_.CheckBlock.data(), crypto_.CheckBlock.size());
      if (!CipherFor(crypto_.CipherId).Encrypt(crypto_.CheckBlock.data(), crypto_.CheckBlock.size()))
        RaiseORQ(30445, "Cannot open database - incorrect password");
    }
    auto mainHeader = header_.Encode();
    file_.Write(0, mainHeader.data(), mainHeader.size(), 10462);
    auto cryptoBlock = crypto_.Encode();
    file_.Write(kMainHeaderSize, cryptoBlock.data(), cryptoBlock.size(), 30438);
    auto lockBlock = EncodeLockBlock();
    file_.Write(kMainHeaderSize + kCryptoBlockSize, lockBlock.data(), lockBlock.size(), 30444);
    uint8_t zero[4] = {0, 0, 0, 0};
    file_.Write(kMainHeaderSize + kCryptoBlockSize + kLockBlockSize, zero, 4, 30404);
    SetPageGeometry(header_.PageSize, kPageHeaderSize);
    map_ = std::make_unique<TORQFreeSpaceMap>(header_.PageSize, header_.PagesPerExtent);
    fsm_ = std::make_unique<TORQDatabaseFreeSpaceManager>(static_cast<TORQMapPageStore&>(*this), header_);
  } catch (...) {
    file_.Close();
    throw;
  }
}

void TORQDiskPageManager::OpenDatabase(const std::string& fileName, const TORQPassword& password, bool readOnly,
                                       bool exclusive, bool multiUser) {
  if (file_.IsOpen()) RaiseORQFmt(10462, "Error - database file %s is in use.", file_.FileName().c_str());
  ResetState();
  if (!readOnly && !IsDatabaseFileWritable(fileName) && os::FileExists(os::ResolvePath(fileName))) readOnly = true;
  file_.Open(fileName, readOnly, exclusive && !readOnly);
  try {
    readOnly_ = readOnly;
    exclusive_ = exclusive && !readOnly;
    multiUser_ = exclusive_ ? false : multiUser;
    password_ = password;
    // The base offset is unknown until the header is found: lock at the
    // absolute position of the file-lock byte meanwhile.
    fileLockPosition_ = kFileLockByte;
    LockFile(20230);
    try {
      const uint64_t size = file_.Size();
      base_ = FindBaseOffset(size, [this](uint64_t pos, uint8_t* buf, size_t n) { return file_.ReadSome(pos, buf, n); });
      ReadFullHeader(base_);
    } catch (...) {
      UnlockFile();
      throw;
    }
    UnlockFile();
    fileLockPosition_ = base_ + kFileLockByte;
    needsRepair_ = header_.State != kStateConsistent || !(header_.FormatVersion >= kMinSoundFormatVersion);
    // A signature without the header size 76 is not a database image either.
    if (header_.Signature != std::string(kDatabaseSignature, kSignatureSize) || header_.HeaderSize != kMainHeaderSize)
      RaiseORQFmt(10470, "Invalid file format. Found signature: '%s', expected: '%s'", header_.Signature.c_str(),
                  kDatabaseSignature);
    if (header_.PageSize <= kPageHeaderSize + 16 || header_.PagesPerExtent == 0 || header_.TotalPageCount < 0)
      RaiseORQ(20237, "Invalid database format");
    cryptoOffset_ = header_.HeaderSize;
    uint8_t cryptoBytes[kCryptoBlockSize];
    file_.Read(base_ + cryptoOffset_, cryptoBytes, sizeof cryptoBytes, 30439);
    crypto_ = TORQCryptoBlock::Decode(cryptoBytes);
    if (crypto_.BlockSize != kCryptoBlockSize) RaiseORQ(20237, "Invalid database format");
    if (header_.IsEncrypted()) {
      auto check = crypto_.CheckBlock;
      if (crypto_.CipherId > kMaxCipherId || !CipherFor(crypto_.CipherId).Decrypt(check.data(), check.size()) ||
          crypto::PageChecksum(check.data(), check.size()) != crypto_.CheckSum)
        RaiseORQ(30445, "Cannot open database - incorrect password");
    }
    if (cryptoOffset_ + crypto_.BlockSize != lockBlockOffset_) RaiseORQ(20237, "Invalid database format");
    uint8_t lockSize[2];
    file_.Read(base_ + lockBlockOffset_, lockSize, 2, 30442);
    nextObjectIdOffset_ = lockBlockOffset_ + le::GetU16(lockSize);
    // Every page position assumes the pages start right after these blocks.
    if (nextObjectIdOffset_ + kNextObjectIdSize != kPagesOffset) RaiseORQ(20237, "Invalid database format");
    SetPageGeometry(header_.PageSize, kPageHeaderSize);
    map_ = std::make_unique<TORQFreeSpaceMap>(header_.PageSize, header_.PagesPerExtent);
    fsm_ = std::make_unique<TORQDatabaseFreeSpaceManager>(static_cast<TORQMapPageStore&>(*this), header_);
  } catch (...) {
    file_.Close();
    ResetState();
    throw;
  }
}

void TORQDiskPageManager::CloseDatabase() {
  DiscardAllCachedPages();
  file_.Close();
  ResetState();
}

void TORQDiskPageManager::ReadFullHeader(uint64_t position) {
  uint8_t bytes[kMainHeaderSize];
  file_.Read(position, bytes, sizeof bytes, 10464);
  header_ = TORQMainHeader::Decode(bytes);
}

void TORQDiskPageManager::ReadHeader() {
  uint8_t bytes[kMainHeaderSize];
  file_.Read(base_, bytes, sizeof bytes, 10464);
  TORQMainHeader h = TORQMainHeader::Decode(bytes);
  header_.TotalPageCount = h.TotalPageCount;
  header_.HighestPageInUse = h.HighestPageInUse;
  header_.CommitCounter = h.CommitCounter;
  header_.State = h.State;
}

void TORQDiskPageManager::WriteHeader() {
  auto bytes = header_.Encode();
  file_.Write(base_, bytes.data(), bytes.size(), 10462);
}

const TORQPageCipher& TORQDiskPageManager::CipherFor(uint8_t cipherId) {
  auto& c = ciphers_[cipherId];
  if (!c) c = std::make_unique<TORQPageCipher>(password_.Password, cipherId);
  return *c;
}

bool TORQDiskPageManager::LockArea(uint64_t offset, int attempts, unsigned delayMs) {
  for (int i = 0; i < attempts; ++i) {
    if (file_.LockByte(base_ + offset)) return true;
    if (i + 1 < attempts) os::Sleep(delayMs);
  }
  return false;
}

bool TORQDiskPageManager::UnlockArea(uint64_t offset) { return file_.UnlockByte(base_ + offset); }

bool TORQDiskPageManager::TestArea(uint64_t offset) {
  if (!file_.LockByte(base_ + offset)) return false;
  file_.UnlockByte(base_ + offset);
  return true;
}

void TORQDiskPageManager::LockFile(int errorNumber) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (fileLockCount_ > 0) {
    ++fileLockCount_;
    return;
  }
  for (int i = 0; i < kFileLockAttempts; ++i) {
    if (file_.LockByte(fileLockPosition_)) {
      fileLockCount_ = 1;
      return;
    }
    os::Sleep(kFileLockDelay);
  }
  RaiseORQ(errorNumber, "Database is locked");
}

void TORQDiskPageManager::UnlockFile() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (fileLockCount_ <= 0) return;
  if (--fileLockCount_ == 0) file_.UnlockByte(fileLockPosition_);
}

void TORQDiskPageManager::ReadDirect(uint64_t offset, void* buffer, size_t count, int readError) {
  file_.Read(base_ + offset, buffer, count, readError);
}

void TORQDiskPageManager::WriteDirect(uint64_t offset, const void* buffer, size_t count, int writeError) {
  file_.Write(base_ + offset, buffer, count, writeError);
}

int32_t TORQDiskPageManager::GetTotalPageCount() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  LockFile(20236);
  try {
    ReadHeader();
  } catch (...) {
    UnlockFile();
    throw;
  }
  UnlockFile();
  return header_.TotalPageCount;
}

void TORQDiskPageManager::AllocatePageNo(TORQPage& page) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  LockFile(20231);
  try {
    ReadHeader();
    const int32_t total = header_.TotalPageCount, highest = header_.HighestPageInUse;
    page.PageNo = fsm_->AllocatePage();
    if (total != header_.TotalPageCount || highest != header_.HighestPageInUse) WriteHeader();
  } catch (...) {
    UnlockFile();
    throw;
  }
  UnlockFile();
  page.AllocateBuffer();
  TORQPageHeader(page.Buffer()).Init(ptEmpty, RandomInitialChangeCounter());
}

void TORQDiskPageManager::FreePageNo(int32_t pageNo) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  LockFile(20232);
  try {
    ReadHeader();
    const int32_t total = header_.TotalPageCount, highest = header_.HighestPageInUse;
    fsm_->FreePage(pageNo);
    if (total != header_.TotalPageCount || highest != header_.HighestPageInUse) WriteHeader();
  } catch (...) {
    UnlockFile();
    throw;
  }
  UnlockFile();
}

void TORQDiskPageManager::Truncate() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  LockFile(20232);
  try {
    ReadHeader();
    const int32_t total = header_.TotalPageCount;
    fsm_->Truncate();
    if (total != header_.TotalPageCount) WriteHeader();
  } catch (...) {
    UnlockFile();
    throw;
  }
  UnlockFile();
  DiscardAllCachedPages();
}

void TORQDiskPageManager::FlushFile() { file_.Flush(); }

bool TORQDiskPageManager::ReadPage(TORQPage& page) {
  page.AllocateBuffer();
  if (page.PageNo < 0) {
    page.Header().SetChangeCounter(kFreedChangeCounter);
    return false;
  }
  try {
    file_.Read(PagePosition(page.PageNo), page.Buffer(), header_.PageSize, 20299);
  } catch (const std::exception&) {
    page.Header().SetChangeCounter(kFreedChangeCounter);
    return false;
  }
  TORQPageHeader h = page.Header();
  if (header_.IsEncrypted() && !IsMapPage(page.PageNo) && !IsDirectFilePageType(h.PageType())) {
    bool ok = CipherFor(h.CipherId()).Decrypt(page.Data(), page.DataSize());
    if (!NoChecks() && (!ok || crypto::PageChecksum(page.Data(), page.DataSize()) != h.Checksum()))
      RaiseORQFmt(30446, "Decrypt page error. Check CRC failed. PageNo: %d", page.PageNo);
  }
  page.Loaded = true;
  return true;
}

void TORQDiskPageManager::WritePage(TORQPage& page) {
  TORQPageHeader h = page.Header();
  h.SetChangeCounter(NextChangeCounter(h.ChangeCounter()));
  if (header_.IsEncrypted() && !IsMapPage(page.PageNo) && page.EncryptOnWrite) {
    h.SetCipherId(SessionCipherId());
    h.SetChecksum(crypto::PageChecksum(page.Data(), page.DataSize()));
    // Encrypt a copy: the cached image stays plaintext.
    std::vector<uint8_t> out(page.Buffer(), page.Buffer() + header_.PageSize);
    if (!CipherFor(SessionCipherId()).Encrypt(out.data() + kPageHeaderSize, page.DataSize()))
      RaiseORQFmt(10469, "Encrypt page error. PageNo: %d", page.PageNo);
    file_.Write(PagePosition(page.PageNo), out.data(), out.size(), 10469);
  } else {
    file_.Write(PagePosition(page.PageNo), page.Buffer(), header_.PageSize, 10469);
  }
}

void TORQDiskPageManager::FreePage(int32_t sessionId, int32_t pageNo) {
  if (IsMapPage(pageNo)) RaiseORQFmt(30434, "Cannot delete PFS or EAM page. PageNo=%d", pageNo);
  TORQPageManager::FreePage(sessionId, pageNo);
}

TORQPage* TORQDiskPageManager::GetPage(int32_t sessionId, int32_t pageNo, bool validate, uint8_t pageType) {
  if (IsMapPage(pageNo)) RaiseORQFmt(30434, "Cannot delete PFS or EAM page. PageNo=%d", pageNo);
  return TORQPageManager::GetPage(sessionId, pageNo, validate, pageType);
}

void TORQDiskPageManager::CommitSession(int32_t sessionId) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (!SessionHasChanges(sessionId)) return;
  LockFile(20213);
  try {
    ReadHeader();
    header_.State = kStateCommitting;
    WriteHeader();
    if (OnCommitStarted) OnCommitStarted();
    TORQPageManager::CommitSession(sessionId);
    ReadHeader();
    header_.CommitCounter += 1;
    header_.State = kStateConsistent;
    WriteHeader();
  } catch (...) {
    UnlockFile();
    throw;
  }
  UnlockFile();
}

bool TORQDiskPageManager::IsPageValidated(int32_t sessionId, TORQPage& page) {
  if (!multiUser_) return true;
  std::optional<int32_t> v = tableCache_.CurrentVersion(sessionId);
  if (!v) return false;
  TORQPageValidation* e = page.Validation(sessionId);
  return e && e->Set && e->TableVersion == *v;
}

void TORQDiskPageManager::SetPageValidated(int32_t sessionId, TORQPage& page) {
  if (!multiUser_) return;
  if (std::optional<int32_t> v = tableCache_.CurrentVersion(sessionId)) page.SetValidation(sessionId, *v);
}

void TORQDiskPageManager::ValidateAgainstFile(TORQPage& page) {
  uint8_t counter[4];
  int32_t onDisk = kFreedChangeCounter;
  try {
    file_.Read(PagePosition(page.PageNo) + kPhChangeCounter, counter, 4, 20197);
    onDisk = le::GetI32(counter);
  } catch (const std::exception&) {
  }
  if (onDisk == kFreedChangeCounter || onDisk == page.Header().ChangeCounter()) return;
  if (!ReadPage(page))
    RaiseORQFmt(20299, "Error reading database file page. Page No: %d, type %d", page.PageNo, page.Header().PageType());
}

int32_t TORQDiskPageManager::NewObjectId() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (!LockArea(nextObjectIdOffset_, kFileLockAttempts, kFileLockDelay))
    RaiseORQ(30401, "Cannot get NextObjectID. File area is Locked.");
  int32_t value = 0;
  try {
    uint8_t bytes[4];
    file_.Read(base_ + nextObjectIdOffset_, bytes, 4, 30400);
    value = le::GetI32(bytes) + 1;
    if (!readOnly_) {
      le::PutI32(bytes, value);
      file_.Write(base_ + nextObjectIdOffset_, bytes, 4, 30404);
    } else {
      value += static_cast<int32_t>(os::Random(10000));
    }
  } catch (...) {
    UnlockArea(nextObjectIdOffset_);
    throw;
  }
  UnlockArea(nextObjectIdOffset_);
  return value;
}

void TORQDiskPageManager::ReadMapPage(int32_t pageNo, uint8_t* buffer) {
  file_.Read(PagePosition(pageNo), buffer, header_.PageSize, 20299);
}

void TORQDiskPageManager::WriteMapPage(int32_t pageNo, const uint8_t* buffer) {
  file_.Write(PagePosition(pageNo), buffer, header_.PageSize, 10469);
}

void TORQDiskPageManager::SetPageCount(int32_t totalPages) {
  file_.SetSize(base_ + kPagesOffset + static_cast<uint64_t>(totalPages) * header_.PageSize);
}

void TORQDiskPageManager::MarkPageFreed(int32_t pageNo) {
  uint8_t bytes[4];
  le::PutI32(bytes, kFreedChangeCounter);
  file_.Write(PagePosition(pageNo) + kPhChangeCounter, bytes, 4, 20198);
}

}  // namespace duz
