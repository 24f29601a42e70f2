#include "platform/text.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "platform/cp1252_case.h"

namespace duz {
namespace {

// Windows-1252 bytes written as escapes: the source file is UTF-8.
const std::string kEspece =
    "Esp\xE8"
    "ce";
const std::string kAlgerie = "Alg\xE9rie";

TEST(CodePage, Cp1252ToUtf8AndBack) {
  struct Case {
    std::string cp1252;
    std::string utf8;
  } cases[] = {
      {kEspece, "Espèce"},
      {kAlgerie, "Algérie"},
      {"\x80", "€"},
      {"\x8C\x9C\x8A\x9A\x9F\xFF", "ŒœŠšŸÿ"},
      {"\x85\x96\x97\x99", "…–—™"},
      {"\xA0\xDF\xFF", "\u00A0ßÿ"},
      // Undefined bytes travel as the C1 controls of the same number.
      {"\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8);
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
  }
}

TEST(CodePage, EveryByteSurvivesBothRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Utf16ToCp1252(Cp1252ToUtf16(all)), all);
  EXPECT_EQ(Cp1252ToUtf16("\x80\x9F"), u"\u20AC\u0178");
}

TEST(CodePage, UnmappableAndInvalidInputBecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("a\u4E2Dz"), "a?z");
  EXPECT_EQ(Utf8ToCp1252("😀"), "?");
  EXPECT_EQ(Utf8ToCp1252("\u0080\u0082"), "??");  // C1 controls that the code page does not hold
  EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");         // cut sequence
  EXPECT_EQ(Utf8ToCp1252("\xFFz"), "?z");
  EXPECT_EQ(Utf16ToCp1252(u"\u4E2D"), "?");
  EXPECT_EQ(Utf16ToCp1252(std::u16string(1, char16_t(0xD800)) + u"x"), "?x");  // lone surrogate
  EXPECT_EQ(Utf16ToCp1252(u"😀"), "?");
}

TEST(CodePage, Oem850ToCp1252) {
  struct Case {
    std::string oem, ansi;
  } cases[] = {
      {"\x82", "\xE9"},  // é
      {"\x85", "\xE0"},  // à
      {"\x87", "\xE7"},  // ç
      {"\x80", "\xC7"},  // Ç
      {"\x90", "\xC9"},  // É
      {"\x8A", "\xE8"},  // è
      {"\xE1", "\xDF"},  // ß
      {"\x9C", "\xA3"},  // £
      {"\xD5", "?"},     // dotless i is not in Windows-1252
      {"\xC4", "?"},     // box drawing
      {"Ex_Data/DBEX_2019.FDB", "Ex_Data/DBEX_2019.FDB"},
      {"Esp\x8A"
       "ce.txt",
       kEspece + ".txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(Oem850ToCp1252(c.oem), c.ansi) << c.oem;
}

TEST(Case, AnsiUpperAndLowerCase) {
  EXPECT_EQ(AnsiUpperCase(kEspece),
            "ESP\xC8"
            "CE");
  EXPECT_EQ(AnsiUpperCase("\xE9\xFF\x9C\x9A\x9E\xDF\xB5\xF7"), "\xC9\x9F\x8C\x8A\x8E\xDF\xB5\xF7");
  EXPECT_EQ(AnsiLowerCase("\xC9\x9F\x8C\x8A\x8E\xD7 ABC"), "\xE9\xFF\x9C\x9A\x9E\xD7 abc");
  EXPECT_EQ(AsciiUpperCase(kEspece),
            "ESP\xE8"
            "CE");
  EXPECT_EQ(AsciiLowerCase("QUORVEL.EXE \xC9"), "quorvel.exe \xC9");
  EXPECT_TRUE(SameText("Config", "CONFIG"));
  EXPECT_TRUE(SameText(kAlgerie, "ALG\xC9RIE"));
  EXPECT_FALSE(SameText(kAlgerie, "ALGERIE"));
  EXPECT_FALSE(SameText("abc", "abcd"));
}

// The case tables must agree with Unicode's simple case mapping wherever the
// mapped letter exists in the code page.
TEST(Case, TablesAgreeWithUnicode) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::u16string wide = Cp1252ToUtf16(all);
  for (int b = 0; b < 256; ++b) {
    auto up = static_cast<char16_t>(u_toupper(wide[b]));
    auto low = static_cast<char16_t>(u_tolower(wide[b]));
    std::string upByte = Utf16ToCp1252(std::u16string(1, up));
    std::string lowByte = Utf16ToCp1252(std::u16string(1, low));
    unsigned char expUp = upByte != "?" || up == u'?' ? static_cast<unsigned char>(upByte[0]) : b;
    unsigned char expLow = lowByte != "?" || low == u'?' ? static_cast<unsigned char>(lowByte[0]) : b;
    EXPECT_EQ(detail::AnsiUpperChar(static_cast<unsigned char>(b)), expUp) << b;
    EXPECT_EQ(detail::AnsiLowerChar(static_cast<unsigned char>(b)), expLow) << b;
  }
}

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(Collation, FrenchOrderCaseAndPunctuation) {
  struct Case {
    std::string a, b;
    bool caseInsensitive;
    int expected;
  } cases[] = {
      {"abc", "ABC", true, 0},
      {"abc", "ABC", false, -1},  // lower case first at the third level
      {kAlgerie, "ALG\xC9RIE", true, 0},
      {kAlgerie, "Algerie", true, 1},  // accents count in both variants
      {"e", "\xE9", false, -1},
      {"\xE9", "f", false, -1},  // an accent weighs less than the letter
      {"\xE9l\xE8ve", "elf", false, -1},
      {"cote", "cot\xE9", false, -1},
      {"cot\xE9", "c\xF4te", false, -1},
      {"c\xF4te", "c\xF4t\xE9", false, -1},
      {"a-b", "ab", true, -1},  // punctuation is significant, and sorts before letters
      {"a b", "ab", true, -1},
      {"a.b", "ab", false, -1},
      {"Z", "\xC9", false, 1},
      {"10", "9", false, -1},
      {"", "a", false, -1},
      {"same", "same", false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(LocaleCompare(c.a, c.b, c.caseInsensitive)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(LocaleCompare(c.b, c.a, c.caseInsensitive)), -c.expected) << c.b << " vs " << c.a;
  }
}

TEST(Collation, SortsAListOfFrenchWords) {
  std::vector<std::string> words = {"\xE9t\xE9", "Zo\xE9", "abc", "Abc", "\xC9t\xE9", "ete", "azur", "\x9Cuf", "oeuf"};
  std::sort(words.begin(), words.end(),
            [](const std::string& a, const std::string& b) { return LocaleCompare(a, b, false) < 0; });
  std::vector<std::string> expected = {"abc",       "Abc",  "azur",   "ete",   "\xE9t\xE9",
                                       "\xC9t\xE9", "oeuf", "\x9Cuf", "Zo\xE9"};
  EXPECT_EQ(words, expected);
}

TEST(Collation, LocaleCanBeChanged) {
  // Swedish sorts a-ring after z; French with the other a's.
  const std::string aRing = "\xE5";
  EXPECT_LT(LocaleCompare(aRing, "z", false), 0);
  SetCollationLocale("sv_SE");
  EXPECT_GT(LocaleCompare(aRing, "z", false), 0);
  std::thread([&] { EXPECT_GT(LocaleCompare(aRing, "z", false), 0); }).join();
  SetCollationLocale("fr_FR");
  EXPECT_LT(LocaleCompare(aRing, "z", false), 0);
}

TEST(Collation, ThreadsCompareConcurrently) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i)
        if (LocaleCompare("cot\xE9", "c\xF4te", false) >= 0 || LocaleCompare("ABC", "abc", true) != 0) ++wrong[t];
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace duz
