// Windows wildcard masks and FindFirst/FindNext over one folder.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/cp1252_case.h"
#include "platform/file.h"
#include "platform/file_registry.h"
#include "platform/path.h"

namespace duz::os {
namespace {

constexpr int kErrorFileNotFound = 2;
constexpr int kErrorPathNotFound = 3;
constexpr int kErrorAccessDenied = 5;
constexpr int kErrorNoMoreFiles = 18;

bool SameChar(char a, char b) {
  return duz::detail::AnsiUpperChar(static_cast<unsigned char>(a)) ==
         duz::detail::AnsiUpperChar(static_cast<unsigned char>(b));
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = duz::detail::AnsiUpperChar(static_cast<unsigned char>(a[i]));
    unsigned char y = duz::detail::AnsiUpperChar(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

// '*' any run (also none), '?' exactly one character; backtracks to the last
// star only, which is enough for a greedy match.
bool WildcardMatch(std::string_view name, std::string_view mask) {
  size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == '?' || SameChar(mask[m], name[n]))) {
      ++m;
      ++n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask.empty()) return false;
  if (mask == "*" || mask == "*.*") return true;
  std::string m(mask);
  if (size_t p = m.find("*.*"); p != std::string::npos) m.replace(p, 3, "*");
  const bool hasDot = name.find('.') != std::string_view::npos;
  if (m.back() == '.') {  // "name." and "*.": only names without an extension
    m.pop_back();
    if (hasDot) return false;
  }
  if (WildcardMatch(name, m)) return true;
  // A mask ending in ".*" also matches the bare name ("DBEX.*" finds "DBEX").
  if (!hasDot && m.size() >= 2 && m.compare(m.size() - 2, 2, ".*") == 0)
    return WildcardMatch(name, std::string_view(m).substr(0, m.size() - 2));
  return false;
}

int FindFirst(const std::string& pathMask, uint32_t attributeMask, SearchRec& rec) {
  FindClose(rec);
  std::string dirPart = ExtractFilePath(pathMask);
  std::string mask = pathMask.substr(dirPart.size());
  if (mask.empty()) mask = "*";
  std::string dir = dirPart.empty() ? std::string(".") : ResolvePath(dirPart);
  if (dir.empty()) dir = ".";

  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
  if (!d) return errno == EACCES ? kErrorAccessDenied : kErrorPathNotFound;
  if (dir.back() != '/') dir += '/';

  // Windows shows hidden, system and folder entries only when asked for.
  const uint32_t needBit = (faHidden | faSysFile | faDirectory) & ~attributeMask;
  auto found = std::make_unique<std::vector<SearchRec>>();
  while (dirent* e = ::readdir(d.get())) {
    std::string_view name(e->d_name);
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    struct stat st;
    if (::stat((dir + e->d_name).c_str(), &st) != 0) continue;  // vanished, or a dangling link
    uint32_t attr = detail::AttributesOf(name, st);
    if (attr & needBit) continue;
    SearchRec r;
    r.Name.assign(name);
    r.Attr = attr;
    r.Size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    r.Time = st.st_mtim.tv_sec;
    found->push_back(std::move(r));
  }
  if (found->empty()) return kErrorFileNotFound;
  // Sorted without regard to case, like an NTFS folder; kept in reverse so
  // FindNext takes from the back.
  std::sort(found->begin(), found->end(),
            [](const SearchRec& a, const SearchRec& b) { return LessIgnoringCase(b.Name, a.Name); });
  SearchRec first = std::move(found->back());
  found->pop_back();
  rec.Name = std::move(first.Name);
  rec.Attr = first.Attr;
  rec.Size = first.Size;
  rec.Time = first.Time;
  rec.pending = found.release();
  return 0;
}

int FindNext(SearchRec& rec) {
  if (!rec.pending || rec.pending->empty()) return kErrorNoMoreFiles;
  SearchRec next = std::move(rec.pending->back());
  rec.pending->pop_back();
  rec.Name = std::move(next.Name);
  rec.Attr = next.Attr;
  rec.Size = next.Size;
  rec.Time = next.Time;
  return 0;
}

void FindClose(SearchRec& rec) {
  delete rec.pending;
  rec.pending = nullptr;
}

}  // namespace duz::os
