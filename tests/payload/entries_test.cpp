// The entry walk: names and sizes with their statuses, and entry names that would
// leave the extraction directory.
#include "payload/entries.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "payload/entry_rules.h"
#include "payload/format.h"
#include "payload/writer.h"

namespace tarvex {
namespace {

// Names that would lead outside the folder; the other rules are in the packer's table.
TEST(EntryName, StaysInside) {
  struct Case {
    const wchar_t* name;
    bool inside;
  } cases[] = {
      {L"app.dll", true},
      {L"a\\b\\c.txt", true},
      {L"a/b.txt", false},
      {L".hidden", true},
      {L"a\\.\\b", false},
      {L"x..y\\z", true},
      {L"..a\\b", true},
      {L"a.\\b", false},
      {L"..", false},
      {L"..\\x", false},
      {L"a\\..\\..\\x", false},
      {L"a/../x", false},
      {L"\\abs", false},
      {L"/abs", false},
      {L"C:\\x", false},
      {L"C:x", false},
      {L"file.txt:stream", false},
      {L"...\\x", false},
      {L".. \\x", false},
      {L"a\\. .", false},
      {L"a\\..", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    EXPECT_EQ(!payload::check_name(c.name, wcslen(c.name)), c.inside);
  }
}

// The first entry's name and size read from a stream, and the status of each read.
struct Walked {
  PayloadStatus name_status = kPayloadOk;
  std::u16string name;
  PayloadStatus size_status = kPayloadOk;
  uint64_t size = 0;
};

// The stream is one frame without the trailer, so that reading past its end finds no
// more input.
Walked walk_first_entry(const Bytes& stream) {
  PayloadCompressor compressor(WriterOptions{1, 0, false, payload::kMinWindowLog});
  compressor.write(stream.data(), stream.size());
  const Bytes resource = compressor.finish();
  PayloadReader reader;
  Walked walked;
  walked.name_status = reader.open(resource.data() + payload::kSignatureSize,
                                   resource.size() - payload::kSignatureSize - payload::kTrailerSize);
  WideBuffer<payload::kMaxNameUnits + 1> name;
  if (walked.name_status.ok()) walked.name_status = next_entry_name(reader, name);
  for (size_t i = 0; i < name.size(); ++i) walked.name += static_cast<char16_t>(name[i]);
  if (walked.name_status.ok() && !name.empty()) walked.size_status = next_entry_size(reader, &walked.size);
  reader.close();
  return walked;
}

TEST(EntryWalk, NamesAndSizesWithTheirStatus) {
  const std::u16string longest(payload::kMaxNameUnits, u'n');
  Bytes too_long;
  append_name(too_long, longest + u'x');
  Bytes cut_name = {'a', 0, 'b'};
  Bytes cut_size;
  append_name(cut_size, u"a");
  cut_size.insert(cut_size.end(), {1, 2, 3});
  Bytes full;
  append_name(full, longest);
  append_size(full, 0x0102030405060708ull);
  Bytes end;
  append_end_marker(end);
  struct Case {
    const char* label;
    Bytes stream;
    PayloadFailure name_failure;
    std::u16string name;
    PayloadFailure size_failure;
    uint64_t size;
  } cases[] = {
      {"1023 units and a size", full, PayloadFailure::kNone, longest, PayloadFailure::kNone, 0x0102030405060708ull},
      {"end marker", end, PayloadFailure::kNone, u"", PayloadFailure::kNone, 0},
      {"1024 units", too_long, PayloadFailure::kNameTooLong, longest, PayloadFailure::kNone, 0},
      {"name cut inside a unit", cut_name, PayloadFailure::kTruncated, u"a", PayloadFailure::kNone, 0},
      {"size cut", cut_size, PayloadFailure::kNone, u"a", PayloadFailure::kTruncated, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Walked w = walk_first_entry(c.stream);
    EXPECT_EQ(w.name_status.failure, c.name_failure);
    EXPECT_EQ(w.name, c.name);
    EXPECT_EQ(w.size_status.failure, c.size_failure);
    EXPECT_EQ(w.size, c.size);
  }
}

}  // namespace
}  // namespace tarvex
