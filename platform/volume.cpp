// Drive type, free space and temporary files.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace duz::os {
namespace {

// The path itself, or its nearest existing ancestor: the drive of a file that
// does not exist yet is the drive of its folder.
std::string ExistingAncestor(const std::string& path) {
  std::string p = ResolvePath(path);
  if (p.empty()) p = ".";
  struct stat st;
  while (::stat(p.c_str(), &st) != 0) {
    std::string up = ExtractFileDir(ExcludeTrailingPathDelimiter(p));
    if (up.empty()) return p[0] == '/' ? std::string() : std::string(".");
    if (up == p) return std::string();
    p = up;
  }
  return p;
}

bool ReadFlag(const std::string& file) {
  std::ifstream in(file);
  int v = 0;
  return in >> v && v != 0;
}

// The block device under st_dev reports itself removable (USB sticks, card
// readers); partitions ask their parent disk.
bool BlockDeviceRemovable(dev_t dev) {
  char link[64];
  std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u", major(dev), minor(dev));
  char real[PATH_MAX];
  if (!::realpath(link, real)) return false;
  std::string dir(real);
  if (ReadFlag(dir + "/removable")) return true;
  return ReadFlag(ExtractFileDir(dir) + "/removable");
}

}  // namespace

DriveType GetDriveType(const std::string& path) {
  std::string p = ExistingAncestor(path);
  if (p.empty()) return DriveType::NoRootDir;
  struct statfs fs;
  struct stat st;
  if (::statfs(p.c_str(), &fs) != 0 || ::stat(p.c_str(), &st) != 0) return DriveType::NoRootDir;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42ul:  // cifs
    case 0xFE534D42ul:  // smb2
    case CODA_SUPER_MAGIC:
    case 0x6B414653ul:  // afs
    case AFS_SUPER_MAGIC:
    case 0x47504653ul:  // gpfs
    case 0x0BD00BD0ul:  // lustre
    case V9FS_MAGIC:
      return DriveType::Remote;
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
      return DriveType::RamDisk;
    case ISOFS_SUPER_MAGIC:
    case 0x15013346ul:  // udf
      return DriveType::CDRom;
    default:
      break;
  }
  if (major(st.st_dev) != 0 && BlockDeviceRemovable(st.st_dev)) return DriveType::Removable;
  return DriveType::Fixed;
}

std::optional<uint64_t> DiskFree(const std::string& path) {
  std::string p = ExistingAncestor(path);
  if (p.empty()) return std::nullopt;
  struct statvfs vfs;
  if (::statvfs(p.c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
}

std::string TempFolder() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = env && *env ? env : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

// Like GetTempFileName: prefix + hexadecimal number + ".tmp", created empty
// so that the name stays taken.
std::string UniqueTempFileName(const std::string& folder, const std::string& prefix) {
  std::string dir = ResolvePath(folder);
  if (dir.empty()) dir = ".";
  if (dir.back() != '/') dir += '/';
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", Random(0xFFFFFFu) + 1);
    std::string name = dir + prefix + hex + ".tmp";
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) throw EOSError(errno, "create temporary file in '" + dir + "'");
  }
  throw EOSError(EEXIST, "create temporary file in '" + dir + "'");
}

}  // namespace duz::os
