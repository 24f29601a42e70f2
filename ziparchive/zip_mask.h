// Entry selection by Windows file masks, and the check that keeps entry
// names inside the destination folder.
#pragma once

#include <string>
#include <string_view>

namespace duz {

// Matches an entry name ("/" separators) against a mask such as "*.*",
// "*.dll", "bin\\*", "*." (names without extension) or "?.txt": first against
// the whole name, then against its file-name part. Case is ignored.
bool ZKMatchesMask(std::string_view entryName, std::string_view mask);

// Plain wildcard comparison: "*" any run of characters, "?" exactly one,
// other characters without regard to case.
bool ZKWildcardMatch(std::string_view text, std::string_view mask);

// False for a name that would leave the destination folder: a drive letter
// or other ":", a leading separator (absolute or UNC path), an empty folder
// step ("a//b"), a ".." step, or a NUL byte. Both separators count.
bool ZKIsSafeEntryName(std::string_view name);

}  // namespace duz
