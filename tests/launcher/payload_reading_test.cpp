// The Launcher's payload calls, watched from outside: a whole payload reads through,
// and each failure the reader reports ends the process with exit code 2 and exactly
// the catalogue line on standard output (text mode: a line feed arrives as CR LF).
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "launcher/payload_reading.h"
#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "payload/writer.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

namespace tarvex {
namespace {

Bytes two_entries() {
  WriterOptions options;
  options.checksum = true;
  return build_payload({{u"app.dll", Bytes(70000, 'm')}, {u"data\\notes.txt", Bytes(5, 'n')}}, options);
}

// Walks every entry through the Launcher's calls; prints one line at the end only, so
// that a run that ends early shows nothing but the reader's message.
int walk(const Bytes& resource) {
  open_payload(resource.data() + payload::kSignatureSize, resource.size() - payload::kSignatureSize);
  static WideBuffer<payload::kMaxNameUnits + 1> name;
  static unsigned char slice[payload::kWriteSliceSize];
  uint64_t entries = 0, bytes = 0;
  for (;;) {
    read_entry_name(name);
    if (name.empty()) break;
    ++entries;
    for (uint64_t left = read_entry_size(); left > 0;) {
      const uint64_t n = left < sizeof slice ? left : sizeof slice;
      read_payload(slice, n);
      left -= n;
      bytes += n;
    }
  }
  close_payload();
  printf("%llu entries, %llu bytes\n", static_cast<unsigned long long>(entries),
         static_cast<unsigned long long>(bytes));
  return 0;
}

TARVEX_SCENARIO(whole) { return walk(two_entries()); }
TARVEX_SCENARIO(truncated) {
  Bytes resource = two_entries();
  resource.resize(resource.size() / 2);
  return walk(resource);
}
TARVEX_SCENARIO(checksum_mismatch) {
  Bytes resource = two_entries();
  resource[resource.size() - payload::kTrailerSize - 1] ^= 1;
  return walk(resource);
}
TARVEX_SCENARIO(name_too_long) {
  return walk(build_payload({{std::u16string(payload::kMaxNameUnits + 1, u'n'), Bytes(1, 'x')}}));
}

struct Case {
  const char* scenario;
  DWORD exit_code;
  const char* out;  // exact standard output
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.scenario; }

const Case kCases[] = {
    {"whole", 0, "2 entries, 70005 bytes\r\n"},
    {"truncated", 2, "Error, couldn't decode attached data.\r\n"},
    {"checksum_mismatch", 2, "Error, couldn't decode attached data.\r\n"},
    {"name_too_long", 2, "Error, a payload entry name does not fit 1023 characters.\r\n"},
};

class PayloadReading : public ::testing::TestWithParam<Case> {};

TEST_P(PayloadReading, EndsWithTheCatalogueLineAndCodeTwo) {
  const Case& c = GetParam();
  const test::ProcessResult r = test::run_scenario(c.scenario);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exit_code, c.exit_code);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Payloads, PayloadReading, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.scenario); });

}  // namespace
}  // namespace tarvex
