#include "ziparchive/zip_mask.h"

#include "platform/file.h"

namespace duz {
namespace {

std::string_view FileNamePart(std::string_view name) {
  const auto pos = name.find_last_of("/\\");
  return pos == std::string_view::npos ? name : name.substr(pos + 1);
}

bool HasExtension(std::string_view name) { return FileNamePart(name).find('.') != std::string_view::npos; }

}  // namespace

bool ZKWildcardMatch(std::string_view text, std::string_view mask) { return os::WildcardMatch(text, mask); }

bool ZKMatchesMask(std::string_view entryName, std::string_view rawMask) {
  std::string mask(rawMask);
  if (mask == "*.*") return true;
  const bool noExtension = !mask.empty() && mask.back() == '.';
  if (auto pos = mask.find("*.*"); pos != std::string::npos) mask.replace(pos, 3, "*");
  if (!mask.empty() && mask.back() == '.') mask.pop_back();

  std::string name(entryName);
  if (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
  if (!name.empty() && name.back() == '.') name.pop_back();
  for (char& c : mask)
    if (c == '\\') c = '/';

  auto matches = [&](std::string_view candidate) {
    if (!ZKWildcardMatch(candidate, mask)) return false;
    return !noExtension || !HasExtension(candidate);
  };
  return matches(name) || matches(FileNamePart(name));
}

bool ZKIsSafeEntryName(std::string_view name) {
  if (name.find(':') != std::string_view::npos || name.find('\0') != std::string_view::npos) return false;
  if (!name.empty() && (name.front() == '/' || name.front() == '\\')) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view step = name.substr(start, end - start);
    if (step == "..") return false;
    // An empty step inside the name ("a//b") would read as "\\" (a full path).
    if (step.empty() && end < name.size()) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace duz
