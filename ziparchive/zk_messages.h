// Error codes of the archive component and how their messages are built.
#pragma once

#include <string>

#include "ziparchive/zk_exception.h"

namespace duz {

namespace zk {
constexpr int kInvalidCheckSum = 8;
constexpr int kBlankFileName = 9;
constexpr int kBlankFileName2 = 10;
constexpr int kFileNotFound = 12;
constexpr int kArchiveNotOpen = 13;
constexpr int kIndexOutOfBounds = 16;
constexpr int kCannotCreateFile = 19;
constexpr int kCannotCreateDir = 20;
constexpr int kUpdateNotEnded = 26;
constexpr int kInMemoryOnly = 28;
constexpr int kInvalidArchive = 35;
constexpr int kNoZip64EndRecord = 40;
constexpr int kCannotOpenArchive = 44;
constexpr int kCannotOpenArchive2 = 45;
constexpr int kArchiveDamaged = 48;
constexpr int kDeflate64Unsupported = 55;
// A slot of the code table that had no text: used for entry names that would
// be written outside the base folder.
constexpr int kUnsafeEntryName = 57;
}  // namespace zk

// The message text of a code ("%s" where a file name goes); nullptr for a
// code without text.
const char* ZKMessageText(int code);

// "Component: text - Native error: NNNNN" with "%s" replaced by arg; no
// prefix when componentName is empty.
EZKException MakeZKException(const std::string& componentName, int code, const std::string& arg = {});

}  // namespace duz
