// Entry names: the Windows file-name rules, UTF-8 decoding and the case folding used to find clashes.
#include "tool/packer/entry_names.h"

#include <gtest/gtest.h>

namespace tarvex::packer {
namespace {

std::string show(const std::u16string& s) { return utf16_to_utf8(s); }

TEST(EntryNames, WindowsRules) {
  struct Case {
    std::u16string name;
    const char* problem;  // a fragment of the reason; "" when the name is fine
  } cases[] = {
      {u"app.dll", ""},
      {u"a\\b\\c.txt", ""},
      {u".hidden", ""},
      {u"x..y", ""},
      {u"CONSOLE.txt", ""},
      {u"COM10", ""},
      {u"LPT", ""},
      {u"my con.txt", ""},
      {u"\u00e9t\u00e9", ""},
      {u"\U0001F600", ""},
      {u"..\\x", "'..'"},
      {u"a\\..\\b", "'..'"},
      {u".\\a", "'.'"},
      {u"\\abs", "absolute"},
      {u"/abs", "absolute"},
      {u"C:\\x", "drive"},
      {u"C:x", "drive"},
      {u"a\\\\b", "empty component"},
      {u"a\\", "empty component"},
      {u"a<b", "'<'"},
      {u"a>b", "'>'"},
      {u"a\\b:c", "':'"},
      {u"a\"b", "'\"'"},
      {u"a|b", "'|'"},
      {u"a?b", "'?'"},
      {u"a*b", "'*'"},
      {u"a/b", "'/'"},
      {u"a\x01", "U+0001"},
      {u"tab\there", "U+0009"},
      {u"unit\x1F", "U+001F"},
      {u"a.", "ends in a dot"},
      {u"dir \\x", "ends in a dot"},
      {u"CON", "device"},
      {u"con.txt", "device"},
      {u"Nul", "device"},
      {u"aux .log", "device"},
      {u"x\\COM1", "device"},
      {u"com9.tar.gz", "device"},
      {u"LPT0", "device"},
      {u"COM\u00b9", "device"},
      {u"CONIN$", "device"},
      {u"PRN.", "ends in a dot"},
      {u"a\xD800"
       u"b",
       "Unicode"},
      {u"\xDC00", "Unicode"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(show(c.name));
    const Failure problem = check_entry_name(c.name);
    EXPECT_EQ(static_cast<bool>(problem), *c.problem != 0) << problem.reason;
    EXPECT_NE(problem.reason.find(c.problem), std::string::npos) << problem.reason;
  }
}

TEST(EntryNames, LengthLimitIs1023Units) {
  EXPECT_FALSE(check_entry_name(std::u16string(1023, u'a')));
  EXPECT_NE(check_entry_name(std::u16string(1024, u'a')).reason.find("1024"), std::string::npos);
  // Units, not characters: 512 characters outside the BMP take 1024 units.
  std::u16string pairs;
  for (int i = 0; i < 512; ++i) pairs += u"\U0001F600";
  EXPECT_TRUE(check_entry_name(pairs));
}

TEST(EntryNames, Utf8Decoding) {
  struct Case {
    std::string text;
    bool valid;
    std::u16string units;
  } cases[] = {
      {"abc", true, u"abc"},
      {"\xC3\xA9", true, u"\u00e9"},
      {"\xE2\x82\xAC", true, u"\u20ac"},
      {"\xF0\x9F\x98\x80", true, u"\xD83D\xDE00"},
      {"\xF4\x8F\xBF\xBF", true, u"\xDBFF\xDFFF"},
      {"\xC0\x80", false, u""},          // overlong NUL
      {"\xE0\x80\xAF", false, u""},      // overlong '/'
      {"\xF0\x8F\xBF\xBF", false, u""},  // overlong U+FFFF
      {"\xED\xA0\x80", false, u""},      // a surrogate
      {"\xF4\x90\x80\x80", false, u""},  // above U+10FFFF
      {"\xF5\x80\x80\x80", false, u""},
      {"a\xC3", false, u""},         // cut short
      {"\x80", false, u""},          // stray continuation byte
      {"\xE2\x28\xA1", false, u""},  // broken continuation
      {"\xFF", false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    std::u16string out;
    EXPECT_EQ(utf8_to_utf16(c.text, &out), c.valid);
    if (c.valid) {
      EXPECT_EQ(out, c.units);
      EXPECT_EQ(utf16_to_utf8(out), c.text);
    }
  }
  EXPECT_EQ(utf16_to_utf8(u"a\xD800"
                          u"b\xDC00"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(EntryNames, CaseFolding) {
  struct Case {
    std::u16string a, b;
    bool same;
  } cases[] = {
      {u"readme.TXT", u"README.txt", true},
      {u"\u00e9", u"\u00c9", true},
      {u"\u00ff", u"\u0178", true},
      {u"\u0101", u"\u0100", true},
      {u"\u0142", u"\u0141", true},
      {u"\u017e", u"\u017d", true},
      {u"\u03c3", u"\u03a3", true},
      {u"\u03c2", u"\u03a3", true},
      {u"\u03ac", u"\u0386", true},
      {u"\u03ce", u"\u038f", true},
      {u"\u044f", u"\u042f", true},
      {u"\u0451", u"\u0401", true},
      {u"a", u"b", false},
      {u"\u00f7", u"\u00d7", false},
      {u"i", u"\u0130", false},
      {u"\u00df", u"SS", false},
      {u"[", u"{", false},
      {u"\u0138", u"\u0137", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(show(c.a) + " / " + show(c.b));
    EXPECT_EQ(fold_case(c.a) == fold_case(c.b), c.same);
  }
}

}  // namespace
}  // namespace tarvex::packer
