// File handles with Windows sharing and LockFile semantics.
//
// Byte-range locks: every handle is its own open file description, and its
// locks are Linux open-file-description locks (F_OFD_SETLK, never waiting).
// Those belong to the description, conflict with every other description in
// any process and vanish when it is closed. An OFD lock does not conflict with
// its own description, and read-only descriptions can only take shared locks,
// so an in-process table of the ranges each handle holds makes a second lock
// of a held byte fail for the same handle and for any handle of the process.
//
// Share modes: an in-process table per file (device + inode) of the access
// and share mode of every open handle gives the exact Windows rule inside the
// process. Across processes each handle also holds shared OFD locks on four
// reserved bytes at the top of the offset range: "has read access", "has
// write access", "denies read", "denies write". An opener first takes its own
// bytes, then probes (F_OFD_GETLK) the bytes that would conflict with it; on a
// conflict it closes again. Claiming before probing means two racing openers
// cannot both miss each other (at worst both fail, and callers retry).
// Limits: a descriptor that cannot be opened for reading (write-only
// permission) cannot take the shared locks and is seen only in-process; a
// file without write permission is opened read-only, whose byte-range locks
// are then shared OFD locks (they still conflict with every writer's lock).
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/error.h"
#include "platform/file_registry.h"
#include "platform/path.h"

namespace duz::os {
namespace {

// Data locks must stay below this offset; the bytes above it carry the share
// claims.
constexpr uint64_t kShareBase = 0x7FFFFFFFFFFFFF00ull;
constexpr off_t kHasRead = static_cast<off_t>(kShareBase) + 0;
constexpr off_t kHasWrite = static_cast<off_t>(kShareBase) + 1;
constexpr off_t kDeniesRead = static_cast<off_t>(kShareBase) + 2;
constexpr off_t kDeniesWrite = static_cast<off_t>(kShareBase) + 3;

struct InodeKey {
  dev_t dev;
  ino_t ino;
  bool operator<(const InodeKey& o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
};

struct Opener {
  uint64_t id;
  bool reads, writes, deniesRead, deniesWrite;
};

struct LockRange {
  uint64_t id;
  uint64_t offset, length;
  bool Overlaps(uint64_t off, uint64_t len) const { return off < offset + length && offset < off + len; }
};

struct InodeState {
  std::vector<Opener> openers;
  std::vector<LockRange> locks;
};

struct HandleInfo {
  InodeKey key;
  int fd;
  short lockType;  // F_WRLCK, or F_RDLCK for a read-only descriptor
};

// Built on first use, so files may be opened from static initialisers.
struct Registry {
  std::mutex mutex;
  std::map<InodeKey, InodeState> inodes;
  std::unordered_map<uint64_t, HandleInfo> handles;
  uint64_t nextId = 1;
};

Registry& Reg() {
  static Registry* r = new Registry;  // never destroyed: handles may close during exit
  return *r;
}

bool Conflicts(const Opener& a, const Opener& b) {
  return (a.reads && b.deniesRead) || (a.writes && b.deniesWrite) || (b.reads && a.deniesRead) ||
         (b.writes && a.deniesWrite);
}

int OfdLock(int fd, int cmd, short type, off_t start, off_t len) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = len;
  int r;
  do r = ::fcntl(fd, cmd, &fl);
  while (r < 0 && errno == EINTR);
  return r;
}

// True when another open file description holds a lock on byte b.
bool HeldByOther(int fd, off_t b) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = b;
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &fl) < 0) return false;
  return fl.l_type != F_UNLCK;
}

// Claims the opener's bytes on fd, then probes for openers of other
// descriptions that conflict with it.
bool ClaimShare(int fd, bool canRead, const Opener& me) {
  if (canRead) {
    if (me.reads) OfdLock(fd, F_OFD_SETLK, F_RDLCK, kHasRead, 1);
    if (me.writes) OfdLock(fd, F_OFD_SETLK, F_RDLCK, kHasWrite, 1);
    if (me.deniesRead) OfdLock(fd, F_OFD_SETLK, F_RDLCK, kDeniesRead, 1);
    if (me.deniesWrite) OfdLock(fd, F_OFD_SETLK, F_RDLCK, kDeniesWrite, 1);
  }
  if (me.reads && HeldByOther(fd, kDeniesRead)) return false;
  if (me.writes && HeldByOther(fd, kDeniesWrite)) return false;
  if (me.deniesRead && HeldByOther(fd, kHasRead)) return false;
  if (me.deniesWrite && HeldByOther(fd, kHasWrite)) return false;
  return true;
}

bool IsFallbackErrno(int e) { return e == EACCES || e == EROFS || e == ETXTBSY || e == EPERM; }

}  // namespace

namespace detail {

bool FileIsOpen(const std::string& resolvedPath) {
  struct stat st;
  if (::stat(resolvedPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  {
    Registry& reg = Reg();
    std::lock_guard<std::mutex> guard(reg.mutex);
    auto it = reg.inodes.find(InodeKey{st.st_dev, st.st_ino});
    if (it != reg.inodes.end() && !it->second.openers.empty()) return true;
  }
  int fd = ::open(resolvedPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  bool open = HeldByOther(fd, kHasRead) || HeldByOther(fd, kHasWrite) || HeldByOther(fd, kDeniesRead) ||
              HeldByOther(fd, kDeniesWrite);
  ::close(fd);
  return open;
}

}  // namespace detail

File::File(File&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), access_(other.access_), id_(other.id_) {
  other.fd_ = -1;
  other.id_ = 0;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    access_ = other.access_;
    id_ = other.id_;
    other.fd_ = -1;
    other.id_ = 0;
  }
  return *this;
}

File::~File() { Close(); }

File File::Open(const std::string& path, FileAccess access, FileShare share, FileCreate create) {
  const std::string resolved = ResolvePath(path);
  const std::string what = "open '" + resolved + "'";
  int createFlags = 0;
  switch (create) {
    case FileCreate::CreateNew:
      createFlags = O_CREAT | O_EXCL;
      break;
    case FileCreate::CreateAlways:
    case FileCreate::OpenAlways:
      createFlags = O_CREAT;
      break;
    case FileCreate::OpenExisting:
    case FileCreate::TruncateExisting:
      break;
  }
  const bool truncate = create == FileCreate::CreateAlways || create == FileCreate::TruncateExisting;
  if (truncate && access == FileAccess::Read) throw EOSError(EACCES, what + " (truncation needs write access)");

  // The descriptor is opened for reading and writing whenever the file allows
  // it, so that it can take exclusive locks; the handle's access is enforced
  // by ReadAt/WriteAt.
  // O_NONBLOCK keeps the open of a FIFO from waiting for a peer; it is
  // cleared again below.
  int fd = ::open(resolved.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | createFlags, 0666);
  int fdMode = O_RDWR;
  if (fd < 0 && IsFallbackErrno(errno)) {
    int first = errno;
    fdMode = access == FileAccess::Read ? O_RDONLY : O_WRONLY;
    if (access == FileAccess::ReadWrite) {
      errno = first;
    } else {
      fd = ::open(resolved.c_str(), fdMode | O_CLOEXEC | O_NONBLOCK | createFlags, 0666);
    }
  }
  if (fd < 0) throw EOSError(errno, what);

  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int e = errno;
    ::close(fd);
    throw EOSError(e, what);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw EOSError(EISDIR, what);
  }
  // The read-only attribute refuses writers, even to a privileged user, as
  // on Windows.
  if ((access != FileAccess::Read || truncate) && (st.st_mode & S_IWUSR) == 0 && S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EOSError(EACCES, what + " (read-only file)");
  }
  if (int fl = ::fcntl(fd, F_GETFL); fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);

  Opener me{};
  me.reads = access != FileAccess::Write;
  me.writes = access != FileAccess::Read;
  me.deniesRead = share == FileShare::Exclusive || share == FileShare::DenyRead;
  me.deniesWrite = share == FileShare::Exclusive || share == FileShare::DenyWrite;

  File f;
  {
    Registry& reg = Reg();
    std::lock_guard<std::mutex> guard(reg.mutex);
    InodeKey key{st.st_dev, st.st_ino};
    InodeState& state = reg.inodes[key];
    bool conflict =
        std::any_of(state.openers.begin(), state.openers.end(), [&](const Opener& o) { return Conflicts(me, o); });
    if (!conflict) conflict = !ClaimShare(fd, fdMode != O_WRONLY, me);
    if (conflict) {
      ::close(fd);
      if (state.openers.empty() && state.locks.empty()) reg.inodes.erase(key);
      throw EOSError(EBUSY, what + " (in use by another handle or process)");
    }
    me.id = reg.nextId++;
    state.openers.push_back(me);
    reg.handles[me.id] = HandleInfo{key, fd, static_cast<short>(fdMode == O_RDONLY ? F_RDLCK : F_WRLCK)};
    f.fd_ = fd;
    f.id_ = me.id;
  }
  f.path_ = resolved;
  f.access_ = access;
  if (truncate && ::ftruncate(fd, 0) != 0) {
    int e = errno;
    f.Close();
    throw EOSError(e, "truncate '" + resolved + "'");
  }
  return f;
}

void File::Close() noexcept {
  if (fd_ < 0) return;
  Registry& reg = Reg();
  std::lock_guard<std::mutex> guard(reg.mutex);
  // Close under the table's lock, so that no other handle sees the bytes free
  // in the table while the OFD locks still stand.
  ::close(fd_);
  auto h = reg.handles.find(id_);
  if (h != reg.handles.end()) {
    auto it = reg.inodes.find(h->second.key);
    if (it != reg.inodes.end()) {
      auto& op = it->second.openers;
      op.erase(std::remove_if(op.begin(), op.end(), [&](const Opener& o) { return o.id == id_; }), op.end());
      auto& lk = it->second.locks;
      lk.erase(std::remove_if(lk.begin(), lk.end(), [&](const LockRange& r) { return r.id == id_; }), lk.end());
      if (op.empty() && lk.empty()) reg.inodes.erase(it);
    }
    reg.handles.erase(h);
  }
  fd_ = -1;
  id_ = 0;
}

size_t File::ReadAt(uint64_t offset, void* buffer, size_t count) const {
  if (fd_ < 0) throw EOSError(EBADF, "read (file not open)");
  if (access_ == FileAccess::Write) throw EOSError(EBADF, "read '" + path_ + "' (opened for writing only)");
  if (offset > static_cast<uint64_t>(INT64_MAX)) throw EOSError(EINVAL, "read '" + path_ + "'");
  size_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < count) {
    ssize_t n = ::pread(fd_, p + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EOSError(errno, "read '" + path_ + "'");
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t File::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  if (fd_ < 0) throw EOSError(EBADF, "write (file not open)");
  if (access_ == FileAccess::Read) throw EOSError(EBADF, "write '" + path_ + "' (opened for reading only)");
  if (offset > static_cast<uint64_t>(INT64_MAX)) throw EOSError(EINVAL, "write '" + path_ + "'");
  size_t done = 0;
  const auto* p = static_cast<const char*>(buffer);
  while (done < count) {
    ssize_t n = ::pwrite(fd_, p + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EOSError(errno, "write '" + path_ + "'");
    }
    if (n == 0) throw EOSError(EIO, "write '" + path_ + "' (no progress)");
    done += static_cast<size_t>(n);
  }
  return done;
}

void File::ReadExactAt(uint64_t offset, void* buffer, size_t count) const {
  size_t n = ReadAt(offset, buffer, count);
  if (n != count)
    throw EOSError(EIO, "short read '" + path_ + "' at " + std::to_string(offset) + ": " + std::to_string(n) + " of " +
                            std::to_string(count) + " bytes");
}

uint64_t File::Size() const {
  if (fd_ < 0) throw EOSError(EBADF, "size (file not open)");
  struct stat st;
  if (::fstat(fd_, &st) != 0) throw EOSError(errno, "size '" + path_ + "'");
  return static_cast<uint64_t>(st.st_size);
}

void File::SetSize(uint64_t size) {
  if (fd_ < 0) throw EOSError(EBADF, "set size (file not open)");
  if (access_ == FileAccess::Read) throw EOSError(EBADF, "set size '" + path_ + "' (opened for reading only)");
  if (size > static_cast<uint64_t>(INT64_MAX)) throw EOSError(EINVAL, "set size '" + path_ + "'");
  int r;
  do r = ::ftruncate(fd_, static_cast<off_t>(size));
  while (r < 0 && errno == EINTR);
  if (r != 0) throw EOSError(errno, "set size '" + path_ + "'");
}

void File::Flush() {
  if (fd_ < 0) throw EOSError(EBADF, "flush (file not open)");
  if (::fsync(fd_) != 0 && errno != EINVAL) throw EOSError(errno, "flush '" + path_ + "'");
}

bool File::Lock(uint64_t offset, uint64_t length) {
  if (fd_ < 0 || length == 0 || offset >= kShareBase || length > kShareBase - offset) return false;
  Registry& reg = Reg();
  std::lock_guard<std::mutex> guard(reg.mutex);
  auto h = reg.handles.find(id_);
  if (h == reg.handles.end()) return false;
  InodeState& state = reg.inodes[h->second.key];
  for (const LockRange& r : state.locks)
    if (r.Overlaps(offset, length)) return false;
  if (OfdLock(fd_, F_OFD_SETLK, h->second.lockType, static_cast<off_t>(offset), static_cast<off_t>(length)) != 0) {
    if (errno == EAGAIN || errno == EACCES) return false;
    throw EOSError(errno, "lock '" + path_ + "'");
  }
  state.locks.push_back(LockRange{id_, offset, length});
  return true;
}

bool File::Unlock(uint64_t offset, uint64_t length) {
  if (fd_ < 0) return false;
  Registry& reg = Reg();
  std::lock_guard<std::mutex> guard(reg.mutex);
  auto h = reg.handles.find(id_);
  if (h == reg.handles.end()) return false;
  auto it = reg.inodes.find(h->second.key);
  if (it == reg.inodes.end()) return false;
  auto& lk = it->second.locks;
  auto r = std::find_if(lk.begin(), lk.end(),
                        [&](const LockRange& l) { return l.id == id_ && l.offset == offset && l.length == length; });
  if (r == lk.end()) return false;
  if (OfdLock(fd_, F_OFD_SETLK, F_UNLCK, static_cast<off_t>(offset), static_cast<off_t>(length)) != 0)
    throw EOSError(errno, "unlock '" + path_ + "'");
  lk.erase(r);
  return true;
}

}  // namespace duz::os
