// Entry names that would leave the extraction directory.
#include "payload/entries.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(EntryName, StaysInside) {
  struct Case {
    const wchar_t* name;
    bool inside;
  } cases[] = {
      {L"app.dll", true},        {L"a\\b\\c.txt", true},   {L"a/b.txt", true},        {L".hidden", true},
      {L"a\\.\\b", true},        {L"x..y\\z", true},       {L"..a\\b", true},         {L"a.\\b", true},
      {L"..", false},            {L"..\\x", false},        {L"a\\..\\..\\x", false},  {L"a/../x", false},
      {L"\\abs", false},         {L"/abs", false},         {L"C:\\x", false},         {L"C:x", false},
      {L"file.txt:stream", false}, {L"...\\x", false},     {L".. \\x", false},        {L"a\\. .", false},
      {L"a\\..", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    EXPECT_EQ(entry_name_stays_inside(c.name), c.inside);
  }
}

}  // namespace
}  // namespace tarvex
