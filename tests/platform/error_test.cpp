#include "platform/error.h"

#include <gtest/gtest.h>

namespace duz {
namespace {

TEST(FormatNativeError, PadsTheNumberToFiveCharacters) {
  struct Case {
    const char* text;
    int number;
    bool hasArguments;
    const char* expected;
  } cases[] = {
      {"Database is locked", 12, false, "Database is locked - Native error: 00012"},
      {"Cannot open table 'X'", 12, true, "Cannot open table 'X' - Native error:    12"},
      {"Cannot open database - incorrect password", 30445, false,
       "Cannot open database - incorrect password - Native error: 30445"},
      {"x", 30446, true, "x - Native error: 30446"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatNativeError(c.text, c.number, c.hasArguments), c.expected);
}

TEST(Format, FillsPrintfPlaceholders) {
  EXPECT_EQ(Format("Page: %d already used", 7), "Page: 7 already used");
  EXPECT_EQ(Format("Field '%s' not found", "ID"), "Field 'ID' not found");
}

}  // namespace
}  // namespace duz
