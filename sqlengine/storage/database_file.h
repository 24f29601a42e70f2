// The OS file of a database: positioned reads and writes with the engine's
// messages, one retry after a failure (reopening the handle when even the
// size cannot be read), and single-byte locks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/file.h"

namespace duz {

class TORQDatabaseFile {
 public:
  TORQDatabaseFile() = default;
  ~TORQDatabaseFile();
  TORQDatabaseFile(const TORQDatabaseFile&) = delete;
  TORQDatabaseFile& operator=(const TORQDatabaseFile&) = delete;

  // Deletes an existing file of that name and creates it afresh, read-write,
  // shared for reading and writing.
  void Create(const std::string& fileName);
  // readOnly: read access, others may read and write; exclusive: read-write
  // without sharing; otherwise read-write, shared.
  void Open(const std::string& fileName, bool readOnly, bool exclusive);
  void Close();

  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& FileName() const { return fileName_; }
  bool ReadOnly() const { return readOnly_; }

  // Exactly count bytes; readError/writeError are the caller's native numbers.
  void Read(uint64_t position, void* buffer, size_t count, int readError);
  void Write(uint64_t position, const void* buffer, size_t count, int writeError);
  // Reads what is there, without raising (short at the end of the file).
  size_t ReadSome(uint64_t position, void* buffer, size_t count);
  uint64_t Size();
  void SetSize(uint64_t size);
  void Flush();

  // Non-blocking; false when the byte is held by anyone, this handle included.
  bool LockByte(uint64_t position);
  bool UnlockByte(uint64_t position);

 private:
  void RequireOpen(const char* operation) const;
  bool Recover();  // after a failed call: check the file, reopen when needed
  // Runs op; on failure recovers once and retries, then raises error with
  // the "Cannot <verb> file" message.
  void WithRecovery(const char* verb, uint64_t position, size_t count, int error,
                    const std::function<void()>& op);

  os::File file_;
  std::string fileName_;
  bool readOnly_ = false;
  bool exclusive_ = false;
};

// Whether a file can be opened for writing and have its first byte read and
// written back (and does not carry the read-only attribute).
bool IsDatabaseFileWritable(const std::string& fileName);

}  // namespace duz
