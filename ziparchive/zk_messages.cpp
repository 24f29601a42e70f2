#include "ziparchive/zk_messages.h"

#include <cstring>

#include "platform/error.h"

namespace duz {

const char* ZKMessageText(int code) {
  switch (code) {
    case 8: return "Invalid size or check sum of file or unsupported compression format";
    case 9:
    case 10: return "File name is blank. Specify appropriate file name";
    case 12: return "File \"%s\" not found";
    case 13: return "Archive is not open";
    case 16: return "Index out of bounds";
    case 19: return "Cannot create file \"%s\"";
    case 20: return "Cannot create directory \"%s\"";
    case 26: return "Cannot proceed when update is not ended. Preceding EndUpdate call is required.";
    case 28: return "In-memory archive can be created only";
    case 35: return "Invalid archive file.";
    case 40: return "Cannot find Zip64 directory end record";
    case 44:
    case 45: return "Cannot open archive file. Opening aborted or invalid file";
    case 48: return "Archive is damaged. Open failed";
    case 55: return "Deflate64 compression method is not supported";
    case 57: return "Entry \"%s\" would be written outside the destination folder and is refused";
    default: return nullptr;
  }
}

EZKException MakeZKException(const std::string& componentName, int code, const std::string& arg) {
  const char* tmpl = ZKMessageText(code);
  std::string text = tmpl ? tmpl : "Archive error";
  bool hasArguments = false;
  if (auto pos = text.find("%s"); pos != std::string::npos) {
    text.replace(pos, 2, arg);
    hasArguments = true;
  }
  if (!componentName.empty()) text = componentName + ": " + text;
  return EZKException(code, FormatNativeError(text, code, hasArguments));
}

}  // namespace duz
