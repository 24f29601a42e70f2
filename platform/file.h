// Files with Windows semantics: share modes, positioned I/O and per-handle
// byte-range locks (LockFile/UnlockFile). All paths pass through ResolvePath.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace duz::os {

enum class FileAccess { Read, Write, ReadWrite };
// What other openers (any handle, any process) may still do.
enum class FileShare { Exclusive, DenyWrite, DenyRead, DenyNone };
enum class FileCreate {
  OpenExisting,      // fails when missing
  CreateNew,         // fails when it exists (exclusive create)
  CreateAlways,      // creates or truncates
  OpenAlways,        // opens or creates
  TruncateExisting,  // fails when missing
};

// Windows error codes the callers test for.
constexpr int kErrorSharingViolation = 32;
constexpr int kErrorLockViolation = 33;

class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  ~File();

  // Throws EOSError: errno of the failing call; EBUSY when the share modes
  // of an open handle (this or another process) and of this open conflict;
  // EACCES when writing is asked of a file with the read-only attribute.
  static File Open(const std::string& path, FileAccess access, FileShare share, FileCreate create);

  bool IsOpen() const noexcept { return fd_ >= 0; }
  void Close() noexcept;  // releases every lock this handle holds
  const std::string& Path() const noexcept { return path_; }
  FileAccess Access() const noexcept { return access_; }

  // Positioned I/O: return the number of bytes moved (short only at end of
  // file for reads); throw EOSError on failure.
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) const;
  size_t WriteAt(uint64_t offset, const void* buffer, size_t count);
  // Read exactly count bytes or throw EOSError(EIO, "short read ...").
  void ReadExactAt(uint64_t offset, void* buffer, size_t count) const;

  uint64_t Size() const;
  void SetSize(uint64_t size);  // SetEndOfFile
  void Flush();

  // Non-blocking byte-range lock owned by this handle. Fails (false) when any
  // byte of the range is locked by any handle, this one included, in this
  // or another process. Released by Unlock or when the handle closes.
  bool Lock(uint64_t offset, uint64_t length);
  // False when this handle does not hold exactly that range.
  bool Unlock(uint64_t offset, uint64_t length);

 private:
  int fd_ = -1;
  std::string path_;
  FileAccess access_ = FileAccess::Read;
  uint64_t id_ = 0;  // key of this handle in the in-process lock table
};

// Windows attribute bits.
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faVolumeID = 0x08;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faNormal = 0x80;
constexpr uint32_t faAnyFile = 0x3F;
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

bool FileExists(const std::string& path);       // a regular file
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);        // one level; false on failure
bool ForceDirectories(const std::string& path); // every missing level
bool RemoveDir(const std::string& path);
// DeleteFile and RenameFile refuse (false) a file that a File handle of any
// process has open; DeleteFile also refuses a read-only file, as Windows does.
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);  // fails when 'to' exists
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);

// read-only = no write permission, directory, hidden = name starts with '.',
// archive = regular file. kInvalidFileAttributes when the path does not exist.
uint32_t GetFileAttributes(const std::string& path);
// Only the read-only bit has an effect (write permission removed or given).
bool SetFileAttributes(const std::string& path, uint32_t attributes);

std::optional<uint64_t> GetFileSize(const std::string& path);
std::optional<std::time_t> GetFileLastWriteTime(const std::string& path);  // UTC seconds
bool SetFileLastWriteTime(const std::string& path, std::time_t utcSeconds);

// Windows wildcard match without regard to case: '*' any run, '?' one
// character, "*.*" everything, and a mask ending in "." matches names without
// an extension.
bool MatchesMask(std::string_view name, std::string_view mask);
// Only '*' (any run, also none) and '?' (one character), without regard to
// case; no special meaning for dots.
bool WildcardMatch(std::string_view name, std::string_view mask);

struct SearchRec {
  std::string Name;   // file name only, as on disk
  uint32_t Attr = 0;
  uint64_t Size = 0;
  std::time_t Time = 0;  // last write, UTC seconds
  // internal state of the search
  std::vector<SearchRec>* pending = nullptr;
};

// FindFirst("dir\\DBEX_20*.FDB", faAnyFile, rec): 0 on success, else an error
// code (2 = no file found). Like Windows, entries with the hidden, system or
// directory bit are returned only when the mask includes that bit; "." and ".."
// are never returned.
int FindFirst(const std::string& pathMask, uint32_t attributeMask, SearchRec& rec);
int FindNext(SearchRec& rec);
void FindClose(SearchRec& rec);

enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CDRom, RamDisk };
DriveType GetDriveType(const std::string& path);
std::optional<uint64_t> DiskFree(const std::string& path);  // bytes available to the user

std::string TempFolder();  // with a trailing '/'
// Creates an empty file with a unique name in folder and returns its path.
std::string UniqueTempFileName(const std::string& folder, const std::string& prefix);

}  // namespace duz::os
