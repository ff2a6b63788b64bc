// Damaged payloads end to end: every run ends with a catalogue message and exit
// code 2, or runs normally; never a crash code, never a hang, and nothing is
// written outside its extraction folder.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <set>

#include "payload/format.h"
#include "tests/support/host/onefile.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::e2e {
namespace {

struct Damaged {
  std::string name;
  Bytes resource;
};

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Offsets inside a resource where the frame's structures begin and end.
std::vector<size_t> structural_offsets(const Bytes& r) {
  std::vector<size_t> at = {0, 1, 2, 3, 4, 7};
  size_t p = 3 + 4;
  const uint8_t fhd = r[p];
  const bool single = fhd & 0x20, checksum = fhd & 0x04;
  const size_t dict_bytes[] = {0, 1, 2, 4};
  const size_t fcs_bytes[] = {single ? 1u : 0u, 2, 4, 8};
  p += 1 + (single ? 0 : 1) + dict_bytes[fhd & 3] + fcs_bytes[fhd >> 6];
  at.push_back(p);
  for (bool last = false; !last && p + 3 <= r.size();) {
    const uint32_t header = r[p] | r[p + 1] << 8 | r[p + 2] << 16;
    last = header & 1;
    const uint32_t type = header >> 1 & 3, size = header >> 3;
    const size_t content = type == 1 ? 1 : size;
    for (size_t d : {size_t{1}, size_t{2}, size_t{3}, 3 + content / 2, 3 + content - 1, 3 + content})
      at.push_back(p + d);
    p += 3 + content;
  }
  if (checksum) {
    at.push_back(p + 2);
    p += 4;
  }
  at.push_back(p);      // the frame's end: only the trailer is missing
  at.push_back(p + 4);  // half the trailer
  return at;
}

std::vector<Damaged> damaged_payloads(const Bytes& module) {
  std::vector<Damaged> out;
  WriterOptions options;
  options.level = 3;
  options.checksum = true;
  std::vector<PayloadEntry> entries = {
      {u"app.dll", module}, {u"data\\a.txt", text("alpha")}, {u"data\\b.bin", Bytes(70000, 0x5A)}};
  const Bytes good = build_payload(entries, options);

  std::set<size_t> cuts;
  for (size_t c : structural_offsets(good))
    if (c < good.size()) cuts.insert(c);
  for (size_t c : cuts) out.push_back({"cut_at_" + std::to_string(c), Bytes(good.begin(), good.begin() + c)});

  // Single bit flips through header, blocks and checksum.
  const size_t frame_end = good.size() - payload::kTrailerSize;
  std::vector<size_t> flips = {
      3, 4, 5, 6, 7, 8, 9, 10, 11, 12, frame_end - 4, frame_end - 3, frame_end - 2, frame_end - 1};
  for (size_t i = 13; i < frame_end - 4; i += (frame_end - 17) / 120 + 1) flips.push_back(i);
  for (size_t at : flips)
    for (int bit : {0, 5}) {
      Bytes b = good;
      b[at] ^= static_cast<uint8_t>(1 << bit);
      out.push_back({"flip_" + std::to_string(at) + "_" + std::to_string(bit), b});
    }
  for (size_t at : {size_t{0}, size_t{1}, size_t{2}}) {
    Bytes b = good;
    b[at] ^= 0x20;
    out.push_back({"signature_" + std::to_string(at), b});
  }

  // Entry streams that are valid Zstandard but wrong as entries.
  auto stream_case = [&](const std::string& name, const Bytes& stream) {
    PayloadCompressor c(options);
    c.write(stream.data(), stream.size());
    out.push_back({name, c.finish()});
  };
  Bytes head;
  append_name(head, u"app.dll");
  append_size(head, module.size());
  head.insert(head.end(), module.begin(), module.end());
  for (uint64_t size : {uint64_t{10}, uint64_t{1} << 40, ~uint64_t{0}}) {
    Bytes s = head;
    append_name(s, u"big.bin");
    append_size(s, size);
    s.insert(s.end(), 5, 'x');
    append_end_marker(s);
    stream_case("size_beyond_stream_" + std::to_string(size), s);
  }
  {
    Bytes s = head;
    for (char16_t u : std::u16string(u"unterminated")) {
      s.push_back(static_cast<uint8_t>(u));
      s.push_back(0);
    }
    stream_case("name_without_terminator", s);
  }
  for (size_t units : {size_t{1024}, size_t{1025}, size_t{5000}}) {
    Bytes s = head;
    append_name(s, std::u16string(units, u'n'));
    append_size(s, 1);
    s.push_back('x');
    append_end_marker(s);
    stream_case("name_of_" + std::to_string(units) + "_units", s);
  }
  {
    Bytes s = head;
    append_name(s, u"last.txt");
    append_size(s, 3);
    s.insert(s.end(), {'a', 'b', 'c'});
    stream_case("end_marker_missing", s);
  }
  for (const char16_t* bad : {u"..\\escaped.txt", u"data\\..\\..\\escaped.txt", u"\\rooted.txt", u"C:\\drive.txt"}) {
    Bytes s = head;
    append_name(s, bad);
    append_size(s, 1);
    s.push_back('x');
    append_end_marker(s);
    stream_case("name_outside", s);
  }
  {
    Bytes s;
    append_name(s, u"..\\app.dll");
    append_size(s, module.size());
    s.insert(s.end(), module.begin(), module.end());
    append_end_marker(s);
    stream_case("module_outside", s);
  }
  return out;
}

const std::set<std::string> kCatalogue = {
    "Error, couldn't find attached data header.",
    "Error, couldn't decode attached data.",
    "Error, a payload entry name does not fit 1023 characters.",
    "Error, the payload entry '%ls' cannot be a file name on Windows.",
    "Error, the payload holds no module to start.",
    "Error, couldn't allocate memory.",
};

// The message a run ended with, reduced to its catalogue form.
std::string message_of(const RunResult& r) {
  std::string text = r.out.empty() ? r.err : r.out;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.rfind("Error, failed to open '", 0) == 0) return "Error, failed to open '%ls' for writing.";
  if (text.rfind("Error, load DLL.", 0) == 0) return "Error, load DLL.";
  if (text.rfind("Error, the payload entry '", 0) == 0)
    return "Error, the payload entry '%ls' cannot be a file name on Windows.";
  if (text.rfind("Error, couldn't unpack file to target path.", 0) == 0)
    return "Error, couldn't unpack file to target path.";
  return text;
}

TEST(Malformed, EveryDamagedPayloadEndsCleanly) {
  const Bytes module = file_bytes(test_module_dll());
  ASSERT_FALSE(module.empty());
  std::vector<Damaged> cases = damaged_payloads(module);
  ASSERT_GE(cases.size(), 200u);

  const std::string dir = make_temp_dir("m");
  const std::string temp = dir + "/tmp";  // its own temporary folder
  ASSERT_EQ(mkdir(temp.c_str(), 0755), 0);
  std::map<std::string, int> tally;

  for (const Damaged& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string exe = dir + "/app.exe";
    ASSERT_TRUE(make_onefile_from_resource(c.resource, exe));
    RunOptions options;
    options.timeout_seconds = 60;
    options.temp_dir = temp;
    RunResult r = run_windows(exe, {"list"}, options);
    ASSERT_FALSE(r.timed_out) << "hang";
    ASSERT_TRUE(r.reported) << r.err;
    std::string outcome;
    if (r.exit_code == 0) {
      EXPECT_NE(r.out.find("file app.dll "), std::string::npos) << r.out;
      outcome = "ran normally (exit 0)";
    } else {
      EXPECT_EQ(r.exit_code, 2u) << r.out << r.err;
      std::string message = message_of(r);
      EXPECT_TRUE(kCatalogue.count(message) || message == "Error, failed to open '%ls' for writing." ||
                  message == "Error, load DLL.")
          << "out: " << r.out << " err: " << r.err;
      outcome = message + " (exit " + std::to_string(r.exit_code) + ")";
    }
    ++tally[outcome];
    // Nothing beside the executable, nothing in the temporary folder but extraction folders.
    std::vector<std::string> beside = list_dir(dir);
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"app.exe", "tmp"}));
    for (const auto& n : list_dir(temp)) {
      EXPECT_EQ(n.rfind("onefile_", 0), 0u) << n;
      remove_tree(temp + "/" + n);  // a fatal stop leaves its folder by design
    }
  }
  remove_tree(dir);
  std::string table;
  for (const auto& [outcome, count] : tally) table += "  " + std::to_string(count) + "  " + outcome + "\n";
  printf("%zu damaged payloads:\n%s", cases.size(), table.c_str());
  RecordProperty("outcomes", table);
}

}  // namespace
}  // namespace tarvex::e2e
