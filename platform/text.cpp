// Code pages and collation through ICU.
#include "platform/text.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/cp1252_case.h"

namespace duz {
namespace {

// Byte -> UTF-16 for one 8-bit code page, read from ICU's converter.
std::array<char16_t, 256> ByteTable(const char* converterName) {
  std::array<char16_t, 256> t{};
  for (int b = 0; b < 256; ++b) t[b] = 0xFFFD;
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(converterName, &err);
  if (U_FAILURE(err)) return t;
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    UChar out[4];
    err = U_ZERO_ERROR;
    ucnv_reset(cnv);
    int32_t n = ucnv_toUChars(cnv, out, 4, &in, 1, &err);
    if (U_SUCCESS(err) && n == 1 && out[0] != 0xFFFD && out[0] != 0x1A) t[b] = out[0];
  }
  ucnv_close(cnv);
  t[0] = 0;
  return t;
}

struct CodePages {
  std::array<char16_t, 256> fromCp1252;
  std::vector<unsigned char> toCp1252;  // indexed by a BMP code point; 0 = no mapping (except U+0000)
  std::array<unsigned char, 256> oem850To1252;

  CodePages() : toCp1252(0x10000, 0) {
    fromCp1252 = ByteTable("windows-1252");
    // The five bytes that Windows-1252 leaves undefined become the C1 controls
    // of the same number, as MultiByteToWideChar does, so every byte survives
    // a round trip.
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) fromCp1252[b] = static_cast<char16_t>(b);
    for (int b = 0; b < 0x80; ++b) fromCp1252[b] = static_cast<char16_t>(b);
    for (int b = 255; b >= 1; --b)
      if (fromCp1252[b] != 0xFFFD) toCp1252[fromCp1252[b]] = static_cast<unsigned char>(b);

    // OEM 850: ASCII stays (the code page's graphic forms of the control
    // bytes are not used by OemToCharA); characters missing from
    // Windows-1252 (box drawing, a few symbols) become '?'.
    std::array<char16_t, 256> oem = ByteTable("ibm-850");
    for (int b = 0; b < 256; ++b) {
      if (b < 0x80) {
        oem850To1252[b] = static_cast<unsigned char>(b);
        continue;
      }
      char16_t u = oem[b];
      unsigned char c = u == 0xFFFD ? 0 : toCp1252[u];
      oem850To1252[b] = c ? c : '?';
    }
  }
};

const CodePages& Pages() {
  static const CodePages* p = new CodePages;  // kept for the process's life
  return *p;
}

inline void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

inline char ToCp1252(const CodePages& pages, UChar32 cp) {
  if (cp == 0) return '\0';
  if (cp < 0 || cp > 0xFFFF) return '?';
  unsigned char c = pages.toCp1252[static_cast<size_t>(cp)];
  return c ? static_cast<char>(c) : '?';
}

// ---- collation ----

struct CollationSettings {
  std::mutex mutex;
  std::string locale = "fr_FR";
  std::atomic<unsigned> generation{1};
};

CollationSettings& Settings() {
  static CollationSettings* s = new CollationSettings;
  return *s;
}

UCollator* OpenCollator(const std::string& locale, UColAttributeValue strength) {
  UErrorCode err = U_ZERO_ERROR;
  UCollator* c = ucol_open(locale.c_str(), &err);
  if (U_FAILURE(err)) {
    err = U_ZERO_ERROR;
    c = ucol_open("", &err);  // the root order still beats byte order
    if (U_FAILURE(err)) return nullptr;
  }
  err = U_ZERO_ERROR;
  ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &err);  // punctuation counts
  ucol_setAttribute(c, UCOL_STRENGTH, strength, &err);
  return c;
}

// Collators and conversion buffers of one thread: ICU collators are not to
// be shared between threads, and the buffers spare an allocation per call.
struct ThreadCollation {
  unsigned generation = 0;
  UCollator* sensitive = nullptr;
  UCollator* insensitive = nullptr;
  std::vector<UChar> a, b;

  ~ThreadCollation() { Close(); }
  void Close() {
    if (sensitive) ucol_close(sensitive);
    if (insensitive) ucol_close(insensitive);
    sensitive = insensitive = nullptr;
  }
  void Refresh() {
    CollationSettings& s = Settings();
    unsigned g = s.generation.load(std::memory_order_acquire);
    if (g == generation) return;
    std::string locale;
    {
      std::lock_guard<std::mutex> guard(s.mutex);
      locale = s.locale;
      g = s.generation.load(std::memory_order_relaxed);
    }
    Close();
    sensitive = OpenCollator(locale, UCOL_TERTIARY);
    insensitive = OpenCollator(locale, UCOL_SECONDARY);
    generation = g;
  }
};

void Widen(std::string_view text, std::vector<UChar>& out) {
  const auto& table = Pages().fromCp1252;
  if (out.size() < text.size()) out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) out[i] = table[static_cast<unsigned char>(text[i])];
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
  const auto& table = Pages().fromCp1252;
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char c : text) AppendUtf8(out, table[static_cast<unsigned char>(c)]);
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  const CodePages& pages = Pages();
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  int32_t i = 0;
  const auto length = static_cast<int32_t>(text.size());
  while (i < length) {
    UChar32 cp;
    U8_NEXT(s, i, length, cp);  // an invalid sequence gives a negative cp
    out += ToCp1252(pages, cp);
  }
  return out;
}

std::u16string Cp1252ToUtf16(std::string_view text) {
  const auto& table = Pages().fromCp1252;
  std::u16string out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = table[static_cast<unsigned char>(text[i])];
  return out;
}

std::string Utf16ToCp1252(std::u16string_view text) {
  const CodePages& pages = Pages();
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const UChar*>(text.data());
  int32_t i = 0;
  const auto length = static_cast<int32_t>(text.size());
  while (i < length) {
    UChar32 cp;
    U16_NEXT(s, i, length, cp);  // a lone surrogate is returned as itself
    out += U_IS_SURROGATE(cp) ? '?' : ToCp1252(pages, cp);
  }
  return out;
}

std::string Oem850ToCp1252(std::string_view text) {
  const auto& table = Pages().oem850To1252;
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(table[static_cast<unsigned char>(text[i])]);
  return out;
}

int LocaleCompare(std::string_view a, std::string_view b, bool caseInsensitive) {
  if (a == b) return 0;  // identical text collates equal at every strength
  thread_local ThreadCollation tc;
  tc.Refresh();
  UCollator* c = caseInsensitive ? tc.insensitive : tc.sensitive;
  if (!c) return a < b ? -1 : 1;  // no collation data at all
  Widen(a, tc.a);
  Widen(b, tc.b);
  UCollationResult r =
      ucol_strcoll(c, tc.a.data(), static_cast<int32_t>(a.size()), tc.b.data(), static_cast<int32_t>(b.size()));
  return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

void SetCollationLocale(const std::string& icuLocale) {
  CollationSettings& s = Settings();
  std::lock_guard<std::mutex> guard(s.mutex);
  s.locale = icuLocale;
  s.generation.fetch_add(1, std::memory_order_release);
}

std::string AnsiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(detail::AnsiUpperChar(static_cast<unsigned char>(c)));
  return out;
}

std::string AnsiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(detail::AnsiLowerChar(static_cast<unsigned char>(c)));
  return out;
}

std::string AsciiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string AsciiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (detail::AnsiUpperChar(static_cast<unsigned char>(a[i])) !=
        detail::AnsiUpperChar(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace duz
