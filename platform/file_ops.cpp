// Whole-file operations with Windows semantics: existence, folders, delete,
// rename, copy, attributes and times.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/file.h"
#include "platform/file_registry.h"
#include "platform/path.h"

namespace duz::os {
namespace {

bool StatPath(const std::string& resolved, struct stat& st) { return ::stat(resolved.c_str(), &st) == 0; }

bool IsReadOnlyMode(mode_t m) { return (m & S_IWUSR) == 0; }

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st;
  return StatPath(ResolvePath(path), st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return StatPath(ResolvePath(path), st) && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
  std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  return !p.empty() && ::mkdir(p.c_str(), 0777) == 0;
}

bool ForceDirectories(const std::string& path) {
  std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  if (p.empty()) return false;
  for (size_t i = 1; i <= p.size(); ++i) {
    if (i < p.size() && p[i] != '/') continue;
    std::string prefix = p.substr(0, i);
    struct stat st;
    if (StatPath(prefix, st)) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return DirectoryExists(p);
}

bool RemoveDir(const std::string& path) {
  std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  return !p.empty() && ::rmdir(p.c_str()) == 0;
}

// Like Windows: a read-only file, or one that a handle has open, is not
// deleted.
bool DeleteFile(const std::string& path) {
  std::string p = ResolvePath(path);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (S_ISREG(st.st_mode) && (IsReadOnlyMode(st.st_mode) || detail::FileIsOpen(p))) return false;
  return ::unlink(p.c_str()) == 0;
}

// Fails when 'to' exists, or when a handle has 'from' open.
bool RenameFile(const std::string& from, const std::string& to) {
  std::string f = ResolvePath(from);
  std::string t = ResolvePath(to);
  struct stat st;
  if (::lstat(f.c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode) && detail::FileIsOpen(f)) return false;
  struct stat tt;
  if (::lstat(t.c_str(), &tt) == 0) {
    if (tt.st_dev != st.st_dev || tt.st_ino != st.st_ino) return false;
    // 'to' names the same file in another letter case: only the case of the
    // name changes.
    t = ExtractFilePath(t) + ExtractFileName(to);
    if (t == f) return true;
  }
  if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link cannot replace.
  if (::link(f.c_str(), t.c_str()) == 0) return ::unlink(f.c_str()) == 0;
  if (errno == EEXIST || ::lstat(t.c_str(), &tt) == 0) return false;
  return ::rename(f.c_str(), t.c_str()) == 0;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  std::string f = ResolvePath(from);
  std::string t = ResolvePath(to);
  struct stat st;
  if (::stat(f.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  struct stat dt;
  if (::stat(t.c_str(), &dt) == 0) {
    if (failIfExists || !S_ISREG(dt.st_mode) || IsReadOnlyMode(dt.st_mode)) return false;
    if (dt.st_dev == st.st_dev && dt.st_ino == st.st_ino) return false;
    if (detail::FileIsOpen(t)) return false;
  }
  int in = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = ::open(t.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (failIfExists ? O_EXCL : 0), 0666);
  if (out < 0) {
    ::close(in);
    return false;
  }
  std::vector<char> buf(1 << 16);
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  ::close(in);
  // Like Windows, the copy keeps the last-write time and the read-only bit.
  if (ok) {
    struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    ::futimens(out, times);
    ::fchmod(out, st.st_mode & 07777);
  }
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(t.c_str());
  return ok;
}

uint32_t GetFileAttributes(const std::string& path) {
  std::string p = ResolvePath(path);
  struct stat st;
  if (!StatPath(p, st)) return kInvalidFileAttributes;
  return detail::AttributesOf(ExtractFileName(ExcludeTrailingPathDelimiter(p)), st);
}

namespace detail {

uint32_t AttributesOf(std::string_view name, const struct stat& st) {
  uint32_t attr = 0;
  if (S_ISDIR(st.st_mode))
    attr |= faDirectory;
  else if (S_ISREG(st.st_mode))
    attr |= faArchive;
  else
    attr |= faSysFile;  // devices, pipes, sockets
  if (IsReadOnlyMode(st.st_mode)) attr |= faReadOnly;
  if (name.size() > 1 && name[0] == '.' && name != "..") attr |= faHidden;
  return attr;
}

}  // namespace detail

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  std::string p = ResolvePath(path);
  struct stat st;
  if (!StatPath(p, st)) return false;
  mode_t m = st.st_mode & 07777;
  if (attributes & faReadOnly)
    m &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else if (IsReadOnlyMode(m))
    m |= S_IWUSR;
  if (m == (st.st_mode & 07777)) return true;
  return ::chmod(p.c_str(), m) == 0;
}

std::optional<uint64_t> GetFileSize(const std::string& path) {
  struct stat st;
  if (!StatPath(ResolvePath(path), st) || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

std::optional<std::time_t> GetFileLastWriteTime(const std::string& path) {
  struct stat st;
  if (!StatPath(ResolvePath(path), st)) return std::nullopt;
  return st.st_mtim.tv_sec;
}

bool SetFileLastWriteTime(const std::string& path, std::time_t utcSeconds) {
  std::string p = ResolvePath(path);
  struct timespec times[2] = {{0, UTIME_OMIT}, {utcSeconds, 0}};
  return ::utimensat(AT_FDCWD, p.c_str(), times, 0) == 0;
}

}  // namespace duz::os
