#include "platform/path.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/error.h"

namespace duz::os {
namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// File names on disk are compared with ASCII case folding only: names may be
// UTF-8 on disk while the callers pass Windows-1252, so folding other bytes
// could join names that differ.
bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

// The entry of folder dir whose name equals name without regard to case; the
// smallest one in byte order when several do, so the answer is stable.
bool FindCaseInsensitive(const std::string& dir, std::string_view name, std::string& found) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
  if (!d) return false;
  bool any = false;
  while (dirent* e = ::readdir(d.get())) {
    std::string_view n(e->d_name);
    if (!SameNameIgnoringCase(n, name)) continue;
    if (!any || n < found) found.assign(n);
    any = true;
  }
  return any;
}

}  // namespace

std::string ResolvePath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  size_t i = 0;
  if (!path.empty() && IsSep(path[0])) {
    out = "/";
    while (i < path.size() && IsSep(path[i])) ++i;
  }
  bool missing = false;  // once a component is missing, the rest cannot exist
  while (i < path.size()) {
    size_t j = i;
    while (j < path.size() && !IsSep(path[j])) ++j;
    std::string_view comp = path.substr(i, j - i);
    std::string dir = out;  // folder the component lives in ("" = current)
    if (!out.empty() && out.back() != '/') out += '/';
    std::string candidate = out + std::string(comp);
    if (!missing && comp != "." && comp != ".." && !Exists(candidate)) {
      std::string found;
      if (FindCaseInsensitive(dir, comp, found))
        candidate = out + found;
      else
        missing = true;
    }
    out = std::move(candidate);
    i = j;
    if (i < path.size()) {  // a separator run: keep one
      while (i < path.size() && IsSep(path[i])) ++i;
      if (i == path.size()) out += '/';
    }
  }
  return out;
}

static size_t LastDelimiter(std::string_view path, bool withDot) {
  for (size_t i = path.size(); i-- > 0;) {
    char c = path[i];
    if (IsSep(c) || c == ':' || (withDot && c == '.')) return i;
  }
  return std::string_view::npos;
}

std::string ExtractFileName(std::string_view path) {
  size_t p = LastDelimiter(path, false);
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtractFilePath(std::string_view path) {
  size_t p = LastDelimiter(path, false);
  return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileDir(std::string_view path) {
  size_t p = LastDelimiter(path, false);
  if (p == std::string_view::npos) return std::string();
  // Drop the separator unless it is the root's or follows a drive colon.
  if (p > 0 && IsSep(path[p]) && !IsSep(path[p - 1]) && path[p - 1] != ':') return std::string(path.substr(0, p));
  return std::string(path.substr(0, p + 1));
}

std::string ExtractFileExt(std::string_view path) {
  size_t p = LastDelimiter(path, true);
  if (p == std::string_view::npos || path[p] != '.') return std::string();
  return std::string(path.substr(p));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t p = LastDelimiter(path, true);
  std::string out(path);
  if (p != std::string_view::npos && path[p] == '.') out.resize(p);
  out += ext;
  return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (out.empty() || !IsSep(out.back())) out += '\\';
  return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (!out.empty() && IsSep(out.back())) out.pop_back();
  return out;
}

std::string CurrentDir() {
  std::vector<char> buf(4096);
  for (;;) {
    if (::getcwd(buf.data(), buf.size())) return std::string(buf.data());
    if (errno != ERANGE) throw EOSError(errno, "getcwd");
    buf.resize(buf.size() * 2);
  }
}

}  // namespace duz::os
