// Sized Win32 calls: each way of reporting a too-small buffer, at N-1, N and N+1, with
// imitated and with real calls.
#include "support/sized_call.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <string>

#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using namespace tarvex;
using tarvex::test::narrow;

namespace {

// The text that an imitated call reports, and how it reports a buffer too small for it.
std::wstring g_text;
enum class Style { kNeededSize, kUnterminated, kTerminatedNoError, kShortWithError } g_style;

DWORD WINAPI imitated_call(wchar_t* buffer, DWORD size) {
  const DWORD length = static_cast<DWORD>(g_text.size());
  if (length < size) {
    wmemcpy(buffer, g_text.c_str(), length + 1);
    return length;
  }
  switch (g_style) {
    case Style::kNeededSize:  // GetEnvironmentVariableW and its kind
      return length + 1;
    case Style::kUnterminated:  // GetModuleFileNameW before Vista and under Wine
      wmemcpy(buffer, g_text.c_str(), size);
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return size;
    case Style::kTerminatedNoError:  // K32GetModuleFileNameExW under Wine
      wmemcpy(buffer, g_text.c_str(), size - 1);
      buffer[size - 1] = 0;
      return size;
    case Style::kShortWithError:  // a cut text whose only sign is the error
      wmemcpy(buffer, g_text.c_str(), size - 1);
      buffer[size - 1] = 0;
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return size - 1;
  }
  return 0;
}

struct StyleRow {
  const char* name;
  Style style;
  TooSmall convention;
};

const StyleRow kStyles[] = {
    {"needed_size", Style::kNeededSize, TooSmall::kReturnsNeededSize},
    {"unterminated", Style::kUnterminated, TooSmall::kTruncates},
    {"terminated_no_error", Style::kTerminatedNoError, TooSmall::kTruncates},
    {"short_with_error", Style::kShortWithError, TooSmall::kTruncates},
};

const char* outcome_name(Filled f) {
  return f == Filled::kYes ? "filled" : f == Filled::kFailed ? "failed" : "did_not_fit";
}

TEST(SizedCall, TextOfNMinus1FitsNAndNPlus1DoNot) {
  for (const StyleRow& row : kStyles) {
    for (size_t length : {7u, 8u, 9u}) {  // capacity 8, terminator included
      SCOPED_TRACE(std::string(row.name) + " length " + std::to_string(length));
      g_style = row.style;
      g_text = std::wstring(length, L'x');
      WideBuffer<8> out;
      out.assign(L"old", kInvariant);
      const Filled filled = fill_from_call(out, row.convention, imitated_call);
      if (length < 8) {
        EXPECT_STREQ(outcome_name(filled), "filled");
        EXPECT_EQ(std::wstring(out.c_str()), g_text);
        EXPECT_EQ(out.size(), length);
      } else {
        EXPECT_STREQ(outcome_name(filled), "did_not_fit");
        EXPECT_EQ(out.size(), 0u);
        EXPECT_EQ(out.c_str()[0], 0);
      }
    }
  }
}

TEST(SizedCall, FailureKeepsTheCallsErrorAndAStaleErrorIsNoTruncation) {
  WideBuffer<8> out;
  Filled filled = fill_from_call(out, TooSmall::kTruncates, [](wchar_t*, DWORD) -> DWORD {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  });
  EXPECT_STREQ(outcome_name(filled), "failed");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  // A call that succeeds without touching the last error, after an earlier call left
  // ERROR_INSUFFICIENT_BUFFER behind.
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  filled = fill_from_call(out, TooSmall::kTruncates, [](wchar_t* buffer, DWORD) -> DWORD {
    wcscpy(buffer, L"abc");
    return 3;
  });
  EXPECT_STREQ(outcome_name(filled), "filled");
  EXPECT_STREQ(out.c_str(), L"abc");
}

// Real calls with a buffer one short of the text, exactly fitting it, and one more.
TEST(SizedCall, RealCallsAtTheBoundary) {
  wchar_t own[MAX_PATH * 4];
  const DWORD own_length = GetModuleFileNameW(nullptr, own, MAX_PATH * 4);
  ASSERT_GT(own_length, 0u);
  ASSERT_TRUE(SetEnvironmentVariableW(L"TARVEX_SIZED_CALL_TEST", std::wstring(own_length, L'v').c_str()));
  HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
  ASSERT_NE(self, nullptr);

  struct Call {
    const char* name;
    TooSmall convention;
    DWORD (*call)(HANDLE self, wchar_t* buffer, DWORD size);
  } calls[] = {
      {"GetModuleFileNameW", TooSmall::kTruncates,
       [](HANDLE, wchar_t* b, DWORD n) { return GetModuleFileNameW(nullptr, b, n); }},
      {"K32GetModuleFileNameExW", TooSmall::kTruncates,
       [](HANDLE p, wchar_t* b, DWORD n) { return K32GetModuleFileNameExW(p, nullptr, b, n); }},
      {"GetEnvironmentVariableW", TooSmall::kReturnsNeededSize,
       [](HANDLE, wchar_t* b, DWORD n) { return GetEnvironmentVariableW(L"TARVEX_SIZED_CALL_TEST", b, n); }},
  };
  for (const Call& c : calls) {
    for (DWORD capacity : {own_length, own_length + 1, own_length + 2}) {
      SCOPED_TRACE(std::string(c.name) + " capacity " + std::to_string(capacity) + " for " +
                   std::to_string(own_length));
      std::wstring storage(capacity, L'#');
      WideText out(storage.data(), capacity);
      const Filled filled = fill_from_call(out, c.convention, [&](wchar_t* b, DWORD n) { return c.call(self, b, n); });
      EXPECT_STREQ(outcome_name(filled), capacity > own_length ? "filled" : "did_not_fit");
      EXPECT_EQ(out.size(), capacity > own_length ? own_length : 0u);
    }
  }
  CloseHandle(self);
  SetEnvironmentVariableW(L"TARVEX_SIZED_CALL_TEST", nullptr);
}

}  // namespace

// argv[1]: "report" or "invariant". A result that does not fit, under that policy.
TARVEX_SCENARIO(sized_call_overflow) {
  g_style = Style::kNeededSize;
  g_text = L"too long";
  WideBuffer<4> out;
  const Overflow policy = std::wstring(argv[1]) == L"report" ? report_as("Error, it does not fit.") : kInvariant;
  fill_from_call(out, TooSmall::kReturnsNeededSize, policy, imitated_call);
  return 0;
}

namespace {

TEST(SizedCall, ResultThatDoesNotFitFollowsTheNamedPolicy) {
  test::ProcessResult r = test::run_scenario("sized_call_overflow", L"report");
  EXPECT_EQ(r.exit_code, 2u);
  EXPECT_EQ(r.out, "Error, it does not fit.\r\n");
  r = test::run_scenario("sized_call_overflow", L"invariant");
  EXPECT_EQ(r.exit_code, 3u);
  EXPECT_EQ(r.out, "");
}

}  // namespace
