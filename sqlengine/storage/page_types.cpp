#include "sqlengine/storage/page_types.h"

#include "sqlengine/storage/orq_raise.h"

namespace duz {

std::string PageTypeName(int pageType) {
  static const char* const kNames[] = {
      "Unknown Page",     "Empty Page",         "EAM Page",
      "PFS Page",         "FileSystemDirectory Page", "ActiveSessionList Page",
      "TableList Page",   "TableLocks Page",    "TableMetaData Page",
      "TableMostUpdated Page", "TableRecord Page", "TableBlob Page",
      "TableIndex Page",
  };
  if (pageType < 0 || pageType > 12) RaiseORQFmt(30382, "Unknown Page Type: (%d)", pageType);
  return kNames[pageType];
}

}  // namespace duz
