#include "sqlengine/storage/database_file.h"

#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/path.h"
#include "platform/system.h"
#include "sqlengine/storage/orq_raise.h"

namespace duz {

namespace {
int CodeOf(const std::exception& e) {
  if (auto* os = dynamic_cast<const EOSError*>(&e)) return os->Code();
  return EIO;
}
std::string TextOf(const std::exception& e) {
  if (auto* os = dynamic_cast<const EOSError*>(&e)) return std::strerror(os->Code());
  return e.what();
}
}  // namespace

TORQDatabaseFile::~TORQDatabaseFile() { file_.Close(); }

void TORQDatabaseFile::RequireOpen(const char* operation) const {
  if (!file_.IsOpen()) RaiseORQFmt(30376, "Cannot perform this operation (%s) on a closed file", operation);
}

void TORQDatabaseFile::Create(const std::string& fileName) {
  if (file_.IsOpen()) RaiseORQFmt(30377, "Cannot perform this operation (%s) on a opened file", "Create");
  if (fileName.empty()) RaiseORQ(30374, "Cannot create file with blank FileName");
  const std::string path = os::ResolvePath(fileName);
  if (os::FileExists(path)) {
    os::SetFileAttributes(path, os::faNormal);
    os::DeleteFile(path);
  }
  try {
    file_ = os::File::Open(path, os::FileAccess::ReadWrite, os::FileShare::DenyNone, os::FileCreate::CreateAlways);
  } catch (const std::exception& e) {
    RaiseORQFmt(30361, "Cannot create file: '%s' Error code: %d. ErrorMessage: %s", fileName.c_str(), CodeOf(e),
                TextOf(e).c_str());
  }
  fileName_ = fileName;
  readOnly_ = false;
  exclusive_ = false;
}

void TORQDatabaseFile::Open(const std::string& fileName, bool readOnly, bool exclusive) {
  if (file_.IsOpen()) RaiseORQFmt(30377, "Cannot perform this operation (%s) on a opened file", "Open");
  const std::string path = os::ResolvePath(fileName);
  try {
    if (readOnly)
      file_ = os::File::Open(path, os::FileAccess::Read, os::FileShare::DenyNone, os::FileCreate::OpenExisting);
    else
      file_ = os::File::Open(path, os::FileAccess::ReadWrite,
                             exclusive ? os::FileShare::Exclusive : os::FileShare::DenyNone,
                             os::FileCreate::OpenExisting);
  } catch (const std::exception& e) {
    RaiseORQFmt(30364, "Cannot open file:'%s' Error code: %d. ErrorMessage: %s", fileName.c_str(), CodeOf(e),
                TextOf(e).c_str());
  }
  fileName_ = fileName;
  readOnly_ = readOnly;
  exclusive_ = exclusive;
}

void TORQDatabaseFile::Close() {
  if (!file_.IsOpen()) return;
  file_.Close();
}

bool TORQDatabaseFile::Recover() {
  try {
    (void)file_.Size();
    return true;
  } catch (const std::exception&) {
  }
  // The handle itself went bad: reopen it, up to three times a second apart.
  for (int attempt = 0; attempt < 3; ++attempt) {
    try {
      file_.Close();
      const std::string path = os::ResolvePath(fileName_);
      file_ = readOnly_ ? os::File::Open(path, os::FileAccess::Read, os::FileShare::DenyNone, os::FileCreate::OpenExisting)
                        : os::File::Open(path, os::FileAccess::ReadWrite,
                                         exclusive_ ? os::FileShare::Exclusive : os::FileShare::DenyNone,
                                         os::FileCreate::OpenExisting);
      return true;
    } catch (const std::exception&) {
      os::Sleep(1000);
    }
  }
  return false;
}

void TORQDatabaseFile::WithRecovery(const char* verb, uint64_t position, size_t count, int error,
                                    const std::function<void()>& op) {
  for (int attempt = 0;; ++attempt) {
    try {
      op();
      return;
    } catch (const std::exception& e) {
      if (attempt == 0 && Recover() && file_.IsOpen()) continue;
      uint64_t size = 0;
      try {
        size = file_.IsOpen() ? file_.Size() : 0;
      } catch (const std::exception&) {
      }
      RaiseORQFmt(error,
                  "Cannot %s file: '%s' Position = %lld, Count = %d, FilePosition = %lld, FileSize = %lld, "
                  "ErrorCode:%d. ErrorMessage: %s",
                  verb, fileName_.c_str(), static_cast<long long>(position), static_cast<int>(count),
                  static_cast<long long>(position), static_cast<long long>(size), CodeOf(e), TextOf(e).c_str());
    }
  }
}

void TORQDatabaseFile::Read(uint64_t position, void* buffer, size_t count, int readError) {
  RequireOpen("Read");
  WithRecovery("Read from", position, count, readError, [&] { file_.ReadExactAt(position, buffer, count); });
}

size_t TORQDatabaseFile::ReadSome(uint64_t position, void* buffer, size_t count) {
  RequireOpen("Read");
  try {
    return file_.ReadAt(position, buffer, count);
  } catch (const std::exception&) {
    return 0;
  }
}

void TORQDatabaseFile::Write(uint64_t position, const void* buffer, size_t count, int writeError) {
  RequireOpen("Write");
  WithRecovery("Write to", position, count, writeError, [&] {
    if (file_.WriteAt(position, buffer, count) != count) throw EOSError(ENOSPC, "short write");
  });
}

uint64_t TORQDatabaseFile::Size() {
  RequireOpen("GetFileSize");
  for (int attempt = 0;; ++attempt) {
    try {
      return file_.Size();
    } catch (const std::exception& e) {
      if (attempt == 0 && Recover() && file_.IsOpen()) continue;
      RaiseORQFmt(30371, "Cannot Get File Size for file: '%s'. ErrorCode:%d. ErrorMessage: %s", fileName_.c_str(),
                  CodeOf(e), TextOf(e).c_str());
    }
  }
}

void TORQDatabaseFile::SetSize(uint64_t size) {
  RequireOpen("SetFileSize");
  for (int attempt = 0;; ++attempt) {
    try {
      file_.SetSize(size);
      return;
    } catch (const std::exception& e) {
      if (attempt == 0 && Recover() && file_.IsOpen()) continue;
      RaiseORQFmt(30370, "Cannot Truncate File '%s' to %lld bytes. ErrorCode:%d. ErrorMessage: %s", fileName_.c_str(),
                  static_cast<long long>(size), CodeOf(e), TextOf(e).c_str());
    }
  }
}

void TORQDatabaseFile::Flush() {
  RequireOpen("Flush");
  for (int attempt = 0;; ++attempt) {
    try {
      file_.Flush();
      return;
    } catch (const std::exception& e) {
      if (attempt == 0 && Recover() && file_.IsOpen()) continue;
      RaiseORQFmt(30379, "Cannot flush file buffers for file: '%s'. ErrorCode:%d. ErrorMessage: %s",
                  fileName_.c_str(), CodeOf(e), TextOf(e).c_str());
    }
  }
}

bool TORQDatabaseFile::LockByte(uint64_t position) {
  RequireOpen("Lock");
  try {
    return file_.Lock(position, 1);
  } catch (const std::exception&) {
    return false;
  }
}

bool TORQDatabaseFile::UnlockByte(uint64_t position) {
  RequireOpen("Unlock");
  try {
    return file_.Unlock(position, 1);
  } catch (const std::exception&) {
    return false;
  }
}

bool IsDatabaseFileWritable(const std::string& fileName) {
  const std::string path = os::ResolvePath(fileName);
  uint32_t attr = os::GetFileAttributes(path);
  if (attr == os::kInvalidFileAttributes || (attr & os::faReadOnly)) return false;
  try {
    os::File f = os::File::Open(path, os::FileAccess::ReadWrite, os::FileShare::DenyNone, os::FileCreate::OpenExisting);
    uint8_t b = 0;
    if (f.ReadAt(0, &b, 1) == 1 && f.WriteAt(0, &b, 1) != 1) return false;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace duz
