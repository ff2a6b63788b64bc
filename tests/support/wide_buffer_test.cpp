// The bounded wide buffer at, below and past its capacity.
#include "support/wide_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "diagnostics/report.h"

namespace tarvex {
namespace {

struct Ended {
  int code;
};
void throw_on_end(int code) { throw Ended{code}; }

class WideBufferTest : public ::testing::Test {
 protected:
  void SetUp() override { set_exit_hook(throw_on_end); }
  void TearDown() override { set_exit_hook(nullptr); }
};

std::wstring repeat(size_t n) { return std::wstring(n, L'x'); }

TEST_F(WideBufferTest, TryAppendFillsToCapacityMinusOneAndRefusesMore) {
  WideBuffer<8> b;
  EXPECT_TRUE(b.try_append(repeat(6).c_str()));
  EXPECT_TRUE(b.try_append(L'y'));       // 7 units + terminator = 8
  EXPECT_FALSE(b.try_append(L'z'));      // one more would overwrite the terminator
  EXPECT_FALSE(b.try_append(L"z"));
  EXPECT_EQ(std::wstring(b.c_str()), repeat(6) + L"y");
  EXPECT_EQ(b.size(), 7u);
}

TEST_F(WideBufferTest, TryAppendOfTooLongTextLeavesTextUnchanged) {
  WideBuffer<8> b;
  b.assign(L"abc", kInvariant);
  EXPECT_FALSE(b.try_append(L"defgh"));  // 3 + 5 = 8 needs 9 units
  EXPECT_EQ(std::wstring(b.c_str()), L"abc");
  EXPECT_TRUE(b.try_append(L"defg"));
  EXPECT_EQ(std::wstring(b.c_str()), L"abcdefg");
}

TEST_F(WideBufferTest, ReportedOverflowEndsWithCodeTwoAndKeepsBufferIntact) {
  WideBuffer<4> b;
  b.assign(L"abc", report_as("Error, test."));
  try {
    b.append(L'd', report_as("Error, test."));
    FAIL() << "append past the capacity returned";
  } catch (const Ended& e) {
    EXPECT_EQ(e.code, 2);
  }
  EXPECT_EQ(std::wstring(b.c_str()), L"abc");
}

TEST_F(WideBufferTest, InvariantOverflowAborts) {
  WideBuffer<4> b;
  try {
    b.assign(L"abcd", kInvariant);
    FAIL() << "assign past the capacity returned";
  } catch (const Ended& e) {
    EXPECT_EQ(e.code, -1);  // the abnormal end
  }
  EXPECT_EQ(b.size(), 0u);
  EXPECT_EQ(b.c_str()[0], L'\0');
}

TEST_F(WideBufferTest, ViewOverCallerStorageReadsExistingTextAndTruncates) {
  wchar_t storage[6] = {L'a', L'b', L'\\', L'c', 0, L'#'};
  WideText t(storage, 6, false);
  EXPECT_EQ(t.size(), 4u);
  EXPECT_EQ(t.rfind(L'\\'), 2u);
  EXPECT_EQ(t.rfind(L'\\', 3), WideText::npos);
  t.truncate(2);
  EXPECT_EQ(std::wstring(storage), L"ab");
  EXPECT_EQ(storage[5], L'#');  // nothing past the capacity was touched
}

TEST_F(WideBufferTest, SyncOfUnterminatedStorageReportsAndTerminates) {
  WideBuffer<3> b;
  b.data()[0] = L'a';
  b.data()[1] = L'b';
  b.data()[2] = L'c';
  try {
    b.sync(report_as("Error, test."));
    FAIL();
  } catch (const Ended& e) {
    EXPECT_EQ(e.code, 2);
  }
  EXPECT_EQ(std::wstring(b.c_str()), L"ab");
}

TEST_F(WideBufferTest, AppendAsciiWidensEachCharacter) {
  WideBuffer<40> b;
  b.append_ascii("TARVEX_ONEFILE_PARENT", kInvariant);
  EXPECT_EQ(std::wstring(b.c_str()), L"TARVEX_ONEFILE_PARENT");
}

}  // namespace
}  // namespace tarvex
