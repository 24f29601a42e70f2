// Text inside the engines is 8-bit Windows-1252 (std::string). This header
// holds the code-page conversions and the one locale-aware comparison that
// every index, sort and comparison of the system uses.
#pragma once

#include <string>
#include <string_view>

namespace duz {

std::string Cp1252ToUtf8(std::string_view text);
std::string Utf8ToCp1252(std::string_view text);    // unmappable characters become '?'
std::u16string Cp1252ToUtf16(std::string_view text);
std::string Utf16ToCp1252(std::u16string_view text);
std::string Oem850ToCp1252(std::string_view text);  // OemToCharA

// Locale-aware comparison (ICU, default locale French, "string sort":
// punctuation significant). caseInsensitive compares at secondary strength.
// Returns <0, 0 or >0.
int LocaleCompare(std::string_view a, std::string_view b, bool caseInsensitive);
// Sets the collation locale (ICU name such as "fr_FR"); used by tests.
void SetCollationLocale(const std::string& icuLocale);

// Locale-aware case mapping of Windows-1252 text (AnsiUpperCase / AnsiLowerCase).
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
// ASCII-only upper/lower case (only a-z / A-Z change).
std::string AsciiUpperCase(std::string_view text);
std::string AsciiLowerCase(std::string_view text);
// Equality of names without regard to case (names of tables, fields,
// databases, modules): AnsiUpperCase of both compared bytewise.
bool SameText(std::string_view a, std::string_view b);

}  // namespace duz
