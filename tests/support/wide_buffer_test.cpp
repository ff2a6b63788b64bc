// The bounded wide buffer at, below and past its capacity.
#include "support/wide_buffer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace tarvex {
namespace {

// How an internal bound violation ends the process: the exit code of abort on Windows,
// a real abort on the host.
#ifdef _WIN32
const auto kAborted = ::testing::ExitedWithCode(3);
#else
const auto kAborted = ::testing::KilledBySignal(SIGABRT);
#endif

std::wstring repeat(size_t n) { return std::wstring(n, L'x'); }

TEST(WideBufferTest, TryAppendFillsToCapacityMinusOneAndRefusesMore) {
  WideBuffer<8> b;
  EXPECT_TRUE(b.try_append(repeat(6).c_str()));
  EXPECT_TRUE(b.try_append(L'y'));   // 7 units + terminator = 8
  EXPECT_FALSE(b.try_append(L'z'));  // one more would overwrite the terminator
  EXPECT_FALSE(b.try_append(L"z"));
  EXPECT_EQ(std::wstring(b.c_str()), repeat(6) + L"y");
  EXPECT_EQ(b.size(), 7u);
}

TEST(WideBufferTest, TryAppendOfTooLongTextLeavesTextUnchanged) {
  WideBuffer<8> b;
  b.assign(L"abc", kInvariant);
  EXPECT_FALSE(b.try_append(L"defgh"));  // 3 + 5 = 8 needs 9 units
  EXPECT_EQ(std::wstring(b.c_str()), L"abc");
  EXPECT_TRUE(b.try_append(L"defg"));
  EXPECT_EQ(std::wstring(b.c_str()), L"abcdefg");
}

TEST(WideBufferTest, ReportedOverflowEndsWithCodeTwo) {
  WideBuffer<4> b;
  b.assign(L"abc", report_as("Error, test."));
  EXPECT_EXIT(b.append(L'd', report_as("Error, test.")), ::testing::ExitedWithCode(2), "");
}

TEST(WideBufferTest, InvariantOverflowAborts) {
  WideBuffer<4> b;
  EXPECT_EXIT(b.assign(L"abcd", kInvariant), kAborted, "");
}

TEST(WideBufferTest, ViewOverCallerStorageReadsExistingTextAndTruncates) {
  wchar_t storage[6] = {L'a', L'b', L'\\', L'c', 0, L'#'};
  WideText t(storage, 6, false);
  EXPECT_EQ(t.size(), 4u);
  EXPECT_EQ(t.rfind(L'\\'), 2u);
  EXPECT_EQ(t.rfind(L'\\', 3), WideText::npos);
  t.truncate(2);
  EXPECT_EQ(std::wstring(storage), L"ab");
  EXPECT_EQ(storage[5], L'#');  // nothing past the capacity was touched
}

TEST(WideBufferTest, SyncOfUnterminatedStorageReports) {
  WideBuffer<3> b;
  b.data()[0] = L'a';
  b.data()[1] = L'b';
  b.data()[2] = L'c';
  EXPECT_EXIT(b.sync(report_as("Error, test.")), ::testing::ExitedWithCode(2), "");
}

TEST(WideBufferTest, AppendAsciiWidensEachCharacter) {
  WideBuffer<40> b;
  b.append_ascii("TARVEX_ONEFILE_PARENT", kInvariant);
  EXPECT_EQ(std::wstring(b.c_str()), L"TARVEX_ONEFILE_PARENT");
}

}  // namespace
}  // namespace tarvex
