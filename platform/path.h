// Windows-style paths on a POSIX file system. The system forms paths as
// folder + '\' + relative name and expects letter case not to matter; every
// file operation of the engines and the program goes through ResolvePath.
#pragma once

#include <string>
#include <string_view>

namespace duz::os {

// Turns '\' into '/' and resolves each existing component without regard to
// letter case when the exact name does not exist. Components that do not
// exist (yet) are kept as written, so the result can name a file to create.
std::string ResolvePath(std::string_view path);

// Delphi-style helpers; both '\' and '/' count as separators.
std::string ExtractFileName(std::string_view path);   // after the last separator or ':'
std::string ExtractFilePath(std::string_view path);   // up to and including the last separator
std::string ExtractFileDir(std::string_view path);    // ExtractFilePath without the trailing separator
std::string ExtractFileExt(std::string_view path);    // ".ext" of the file name, or ""
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view path);  // adds '\' when missing
std::string ExcludeTrailingPathDelimiter(std::string_view path);

std::string CurrentDir();  // the process's working folder (POSIX form)

}  // namespace duz::os
