// Internal to the platform layer: what the open File handles of this process
// and of other processes hold on a file, for the share-mode rules of
// DeleteFile and RenameFile, and the attribute mapping shared by
// GetFileAttributes and FindFirst.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace duz::os::detail {

// True when a File handle of this or another process has the file at path
// (already resolved) open.
bool FileIsOpen(const std::string& resolvedPath);

// Windows attribute bits of an entry called name (file name only) with the
// given status.
uint32_t AttributesOf(std::string_view name, const struct stat& st);

}  // namespace duz::os::detail
