// `tarvex attach` on real MinGW programs: binutils reads every earlier resource back
// with its bytes, the program still runs under Wine, and FindResourceA on RT_RCDATA 27
// returns exactly the attached bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <iterator>
#include <map>
#include <ostream>
#include <random>
#include <tuple>

#include "pe/pe_image.h"
#include "pe/resource_rebuild.h"
#include "tests/support/host/host_command.h"
#include "tests/support/host/wine_run.h"
#include "tests/support/le_bytes.h"

namespace tarvex {
namespace {

using testing::run_command;
using testing::tarvex_tool;

// (type, name, language) → bytes; ids are written "#N", as FindResourceA accepts them.
using ResourceMap = std::map<std::tuple<std::string, std::string, int>, std::string>;

uint32_t le32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 | static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint16_t le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// A type or name field of a .res header: 0xFFFF and an id, or UTF-16 text ended by 0.
std::string res_key(const std::string& b, size_t* at) {
  if (le16(b, *at) == 0xFFFF) {
    *at += 4;
    return "#" + std::to_string(le16(b, *at - 2));
  }
  std::string text;
  for (; le16(b, *at) != 0; *at += 2) text += static_cast<char>(le16(b, *at));
  *at += 2;
  return text;
}

// The resources binutils finds in `exe` (windres -O res, parsed here).
ResourceMap windres_resources(const std::string& exe, const std::string& dir) {
  const std::string res = dir + "/read.res";
  const auto r = run_command({"x86_64-w64-mingw32-windres", "-i", exe, "-O", "res", "-o", res});
  if (r.exit_code != 0) {
    EXPECT_NE(r.err.find("no resource section"), std::string::npos) << r.err;
    return {};
  }
  const std::string b = e2e::read_file(res);
  ResourceMap map;
  for (size_t at = 0; at + 32 <= b.size();) {
    const uint32_t data_size = le32(b, at), header_size = le32(b, at + 4);
    size_t field = at + 8;
    const std::string type = res_key(b, &field);
    const std::string name = res_key(b, &field);
    field = (field + 3) & ~size_t{3};
    const int language = le16(b, field + 6);
    if (type != "#0") map[{type, name, language}] = b.substr(at + header_size, data_size);
    at = (at + header_size + data_size + 3) & ~size_t{3};
  }
  return map;
}

std::string fnv_line(const std::string& label, const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  char text[64];
  snprintf(text, sizeof text, " %zu %016llx\r\n", bytes.size(), static_cast<unsigned long long>(hash));
  return label + text;
}

std::string random_bytes(size_t size, unsigned seed) {
  std::mt19937_64 random(seed);
  std::string bytes(size, 0);
  for (size_t i = 0; i < size; i += 8) {
    const uint64_t v = random();
    for (size_t k = 0; k < 8 && i + k < size; ++k) bytes[i + k] = static_cast<char>(v >> (8 * k));
  }
  return bytes;
}

// Attaches `payload_path` to `exe` with the tool and checks what every result must show.
void attach_and_check(const std::string& exe, const std::string& payload_path, const std::string& out,
                      bool read_with_windres) {
  const auto tool = run_command({tarvex_tool(), "attach", exe, "--payload", payload_path, "-o", out});
  ASSERT_EQ(tool.exit_code, 0) << tool.err;
  EXPECT_EQ(tool.out + tool.err, "");
  const auto dump = run_command({"x86_64-w64-mingw32-objdump", "-p", out});
  EXPECT_EQ(dump.exit_code, 0);
  EXPECT_EQ(dump.err, "");
  EXPECT_NE(dump.out.find("Resource Directory [.rsrc]"), std::string::npos);
  EXPECT_NE(dump.out.find("Entry: ID: 0x00001b"), std::string::npos);  // 27 in objdump's tree listing
  EXPECT_EQ(dump.out.find("orrupt"), std::string::npos);
  if (read_with_windres) {
    const std::string dir = e2e::make_temp_dir("tarvex_res");
    ResourceMap expected = windres_resources(exe, dir);
    // Every earlier payload goes, in whatever language; the new one is neutral.
    for (auto it = expected.begin(); it != expected.end();)
      it = std::get<0>(it->first) == "#10" && std::get<1>(it->first) == "#27" ? expected.erase(it) : std::next(it);
    expected[{"#10", "#27", 0}] = e2e::read_file(payload_path);
    EXPECT_EQ(windres_resources(out, dir), expected);
    e2e::remove_tree(dir);
  }
  e2e::RunOptions options;
  options.timeout_seconds = 600;  // the largest payload is hashed byte by byte
  const auto run = e2e::run_windows(out, {}, options);
  ASSERT_TRUE(run.reported) << run.err;
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.out, fnv_line("payload", e2e::read_file(payload_path)) + "payload languages 1\r\n");
}

struct Case {
  const char* program;
  size_t size;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.program << ", " << c.size << " bytes"; }

class AttachToProgram : public ::testing::TestWithParam<Case> {};

TEST_P(AttachToProgram, KeepsEveryResourceAndServesThePayload) {
  const Case c = GetParam();
  const std::string dir = e2e::make_temp_dir("tarvex_attach");
  const std::string payload = dir + "/payload.bin", out = dir + "/out.exe";
  ASSERT_TRUE(e2e::write_file(payload, random_bytes(c.size, static_cast<unsigned>(c.size))));
  ASSERT_NO_FATAL_FAILURE(attach_and_check(e2e::resource_test_program(c.program), payload, out, true));

  // The loader still finds every earlier resource, with the same bytes.
  const ResourceMap before = windres_resources(e2e::resource_test_program(c.program), dir);
  std::vector<std::string> args;
  std::string expected;
  for (const auto& [key, bytes] : before) {
    if (std::get<0>(key) == "#10" && std::get<1>(key) == "#27") continue;
    args.push_back(std::get<0>(key));
    args.push_back(std::get<1>(key));
    expected += fnv_line(std::get<0>(key) + "/" + std::get<1>(key), bytes);
  }
  if (!args.empty()) {
    const auto run = e2e::run_windows(out, args);
    ASSERT_TRUE(run.reported) << run.err;
    EXPECT_EQ(run.out, expected);
  }
  e2e::remove_tree(dir);
}

std::vector<Case> cases() {
  std::vector<Case> list;
  for (const char* p : {"tool_plain", "tool_rich", "tool_has27"})
    for (size_t size : {size_t{0}, size_t{1}, size_t{3}, size_t{1} << 20}) list.push_back({p, size});
  // Older payloads in other languages, none neutral: all of them go.
  list.push_back({"tool_has27_languages", 3});
  list.push_back({"tool_has27_languages", size_t{1} << 20});
  return list;
}

INSTANTIATE_TEST_SUITE_P(Programs, AttachToProgram, ::testing::ValuesIn(cases()), [](const auto& info) {
  return std::string(info.param.program) + "_" + std::to_string(info.param.size);
});

TEST(AttachUnderWine, A300MiBPayload) {
  const std::string dir = e2e::make_temp_dir("tarvex_attach_big");
  const std::string payload = dir + "/payload.bin", out = dir + "/out.exe";
  ASSERT_TRUE(e2e::write_file(payload, random_bytes(size_t{300} << 20, 300)));
  ASSERT_NO_FATAL_FAILURE(attach_and_check(e2e::resource_test_program("tool_rich"), payload, out, false));
  e2e::remove_tree(dir);
}

TEST(AttachUnderWine, AttachingTwiceDoesNotGrowTheFile) {
  const Bytes payload(70000, 0x5A);
  for (const char* name : {"tool_plain", "tool_rich", "tool_has27", "tool_has27_languages"}) {
    SCOPED_TRACE(name);
    const std::string data = e2e::read_file(e2e::resource_test_program(name));
    Bytes once, twice;
    ASSERT_FALSE(pe::attach_payload(Bytes(data.begin(), data.end()), payload, &once));
    ASSERT_FALSE(pe::attach_payload(once, payload, &twice));
    EXPECT_LE(twice.size(), once.size());
    EXPECT_EQ(twice, once);
  }
}

TEST(AttachUnderWine, KeepsAnOverlayAndTheSymbolTable) {
  // tool_plain is not stripped: its section names past eight characters live in the
  // COFF string table after the symbols, which the overlay test moves.
  const std::string dir = e2e::make_temp_dir("tarvex_overlay");
  const std::string input = dir + "/in.exe", payload = dir + "/payload.bin", out = dir + "/out.exe";
  const std::string overlay = random_bytes(4099, 4099);
  ASSERT_TRUE(e2e::write_file(input, e2e::read_file(e2e::resource_test_program("tool_plain")) + overlay));
  ASSERT_EQ(chmod(input.c_str(), 0755), 0);
  ASSERT_TRUE(e2e::write_file(payload, random_bytes(50000, 1)));
  ASSERT_NO_FATAL_FAILURE(attach_and_check(input, payload, out, true));
  const std::string result = e2e::read_file(out);
  ASSERT_GT(result.size(), overlay.size());
  EXPECT_EQ(result.substr(result.size() - overlay.size()), overlay);
  auto section_names = [](const std::string& exe) {
    const auto r = run_command({"x86_64-w64-mingw32-objdump", "-h", exe});
    std::vector<std::string> names;
    char name[64];
    for (size_t at = 0; (at = r.out.find('\n', at)) != std::string::npos; ++at) {
      unsigned index;
      if (sscanf(r.out.c_str() + at + 1, " %u %63s", &index, name) == 2) names.push_back(name);
    }
    return names;
  };
  std::vector<std::string> expected = section_names(input);
  ASSERT_NE(std::find(expected.begin(), expected.end(), ".debug_info"), expected.end());
  expected.push_back(".rsrc");
  EXPECT_EQ(section_names(out), expected);
  e2e::remove_tree(dir);
}

TEST(AttachUnderWine, ChecksumAgreesWithTheLinker) {
  for (const char* name : {"tool_plain", "tool_rich", "tool_has27", "tool_has27_languages"}) {
    SCOPED_TRACE(name);
    const std::string data = e2e::read_file(e2e::resource_test_program(name));
    const Bytes file(data.begin(), data.end());
    pe::Image image;
    ASSERT_FALSE(pe::parse_image(file, &image));
    const size_t field = image.optional_header + pe::kCheckSumField;
    EXPECT_NE(get32(file, field), 0u);
    EXPECT_EQ(pe::pe_checksum(file, field), get32(file, field));
  }
}

}  // namespace
}  // namespace tarvex
