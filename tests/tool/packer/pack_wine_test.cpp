// Packed executables run under Wine: the example, a real DLL corpus round trip through list,
// extract and the Launcher, identical bytes on repeated packing, resources kept, packing a
// packed file again, a frame made by the zstd tool, and the Windows build of tarvex itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/e2e/wine_run.h"
#include "tests/tool/packer/packed_files.h"

namespace tarvex::packer_test {
namespace {

namespace fs = std::filesystem;
using e2e::read_file;
using e2e::write_file;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

uint64_t fnv1a(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ull;
  return hash;
}

TEST(PackWine, ExampleApplicationRuns) {
  TempDir dir;
  const std::string app = dir.path + "/hello";
  copy_file(windows_program("examples/hello.dll"), app + "/hello.dll");
  fs::copy(e2e::source_dir() + "/examples/hello/data", app, fs::copy_options::recursive);
  auto r = tarvex({"pack", app, "--main", "hello.dll", "-o", dir.path + "/hello.exe", "--launcher", launcher()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  e2e::RunResult run = e2e::run_windows(dir.path + "/hello.exe", {"Ada Lovelace", "--verbose"});
  EXPECT_EQ(run.exit_code, 0u) << run.out << run.err;
  EXPECT_TRUE(has(run.out, "Hello from a Tarvex onefile application!")) << run.out;
  EXPECT_TRUE(has(run.out, "argument 1: Ada Lovelace")) << run.out;
  EXPECT_TRUE(has(run.out, "Read 3 data files")) << run.out;
}

TEST(PackWine, SameInputGivesTheSameBytes) {
  TempDir dir;
  make_app(dir.path + "/app");
  copy_file(windows_program("examples/hello.dll"), dir.path + "/app/lib/hello.dll");
  const std::vector<std::vector<std::string>> variants = {{}, {}, {"--threads", "1"}, {"--threads", "2"}};
  std::string first;
  for (size_t i = 0; i < variants.size(); ++i) {
    const std::string out = dir.path + "/out" + std::to_string(i) + ".exe";
    ASSERT_EQ(pack(dir.path + "/app", out, variants[i]).exit_code, 0);
    if (i == 0) first = read_file(out);
    else EXPECT_EQ(read_file(out), first) << i;
  }
  ASSERT_EQ(pack(dir.path + "/app", dir.path + "/other.exe", {"--no-check"}).exit_code, 0);
  EXPECT_NE(read_file(dir.path + "/other.exe"), first) << "the comparison can see a difference";
}

// Below 2^27 bytes the whole stream is one zstd job, so only a larger stream shows whether
// the worker count changes the frame: the whole corpus at level 1 makes two jobs.
TEST(PackWine, WholeCorpusSameBytesForOneAndTwoThreads) {
  TempDir dir;
  copy_file(test_module(), dir.path + "/app/app.dll");
  ASSERT_EQ(testing::run_command({"cp", "-al", "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", dir.path + "/app/corpus"})
                .exit_code, 0);
  ASSERT_EQ(pack(dir.path + "/app", dir.path + "/one.exe", {"--level", "1", "--threads", "1"}).exit_code, 0);
  ASSERT_EQ(pack(dir.path + "/app", dir.path + "/two.exe", {"--level", "1", "--threads", "2"}).exit_code, 0);
  EXPECT_GT(fs::file_size(dir.path + "/one.exe"), 100000000u);
  EXPECT_TRUE(read_file(dir.path + "/one.exe") == read_file(dir.path + "/two.exe"));
}

// A few hundred of the Windows DLLs that Debian's wine64 installs, below corpus/.
std::vector<std::string> corpus_sample(const std::string& app) {
  const std::string source = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(source))
    if (e.is_regular_file() && e.file_size() < (1u << 20)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  if (names.size() > 300) names.resize(300);
  for (const std::string& n : names) {
    std::error_code ec;
    fs::create_directories(app + "/corpus");
    fs::create_hard_link(source + "/" + n, app + "/corpus/" + n, ec);
    if (ec) copy_file(source + "/" + n, app + "/corpus/" + n);
  }
  return names;
}

TEST(PackWine, CorpusRoundTripThroughListExtractAndTheLauncher) {
  TempDir dir;
  const std::string app = dir.path + "/app", exe = dir.path + "/corpus.exe";
  copy_file(test_module(), app + "/app.dll");
  const std::vector<std::string> names = corpus_sample(app);
  ASSERT_GE(names.size(), 200u);
  ASSERT_EQ(pack(app, exe).exit_code, 0);

  // list: the module first, then the corpus in name order, with sizes and totals.
  auto r = tarvex({"list", exe});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> listed = lines(r.out);
  ASSERT_EQ(listed.size(), names.size() + 3);
  auto expect_row = [&](const std::string& row, const std::string& name, const std::string& path) {
    std::istringstream in(row);
    uint64_t size = 0;
    std::string shown;
    in >> size >> shown;
    EXPECT_EQ(shown, name);
    EXPECT_EQ(size, fs::file_size(path)) << name;
  };
  expect_row(listed[0], "app.dll", app + "/app.dll");
  for (size_t i = 0; i < names.size(); ++i) expect_row(listed[i + 1], "corpus\\" + names[i], app + "/corpus/" + names[i]);
  EXPECT_EQ(listed[names.size() + 1].rfind(std::to_string(names.size() + 1) + " entries, ", 0), 0u);
  EXPECT_TRUE(has(listed.back(), "content checksum yes")) << listed.back();

  // extract: the same bytes as the source.
  r = tarvex({"extract", exe, dir.path + "/out"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_file(dir.path + "/out/app.dll"), read_file(app + "/app.dll"));
  for (const std::string& n : names)
    ASSERT_EQ(read_file(dir.path + "/out/corpus/" + n), read_file(app + "/corpus/" + n)) << n;

  // The Launcher: the module lists every extracted file with its size and hash.
  e2e::RunResult run = e2e::run_windows(exe, {"list"});
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  std::map<std::string, std::string> seen;
  for (const std::string& line : lines(run.out)) {
    std::istringstream in(line);
    std::string word, name, rest;
    in >> word >> name;
    std::getline(in, rest);
    if (word == "file") seen[name] = rest;
  }
  ASSERT_EQ(seen.size(), names.size() + 1);
  for (const std::string& n : names) {
    const std::string bytes = read_file(app + "/corpus/" + n);
    char expected[64];
    snprintf(expected, sizeof expected, " %zu %016llx", bytes.size(), static_cast<unsigned long long>(fnv1a(bytes)));
    EXPECT_EQ(seen["corpus\\" + n], expected) << n;
  }
}

// The resource script that windres makes of an image, without the payload's entry.
std::string resources_without_payload(const std::string& exe) {
  auto r = testing::run_command({"x86_64-w64-mingw32-windres", "-i", exe, "-O", "rc"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string head = "/* Type: rcdata\n\n   Name: 27.  */\n\n27 RCDATA\nBEGIN\n";
  const size_t start = r.out.find(head);
  if (start == std::string::npos) return r.out;
  const size_t end = r.out.find("\nEND\n\n", start);
  EXPECT_NE(end, std::string::npos);
  return r.out.erase(start, end + 6 - start);
}

TEST(PackWine, ResourcesReadBackWithBinutilsAndRepacking) {
  TempDir dir;
  make_app(dir.path + "/app");
  const std::string first = dir.path + "/first.exe", second = dir.path + "/second.exe";
  ASSERT_EQ(pack(dir.path + "/app", first).exit_code, 0);

  auto dump = testing::run_command({"x86_64-w64-mingw32-objdump", "-p", first});
  EXPECT_EQ(dump.exit_code, 0) << dump.err;
  EXPECT_TRUE(has(dump.out, "Resource Directory [.rsrc]")) << dump.out;
  const std::string launcher_rc = resources_without_payload(launcher());
  for (const char* part : {"VERSIONINFO", "CompanyName", "\"FileVersion\", \"1.0.0.0\"", "MANIFEST", "asInvoker", "ICON"})
    EXPECT_TRUE(has(launcher_rc, part)) << part;
  EXPECT_EQ(resources_without_payload(first), launcher_rc);

  // A packed file is a Launcher too: packing into it replaces the payload.
  fs::remove(dir.path + "/app/data/readme.txt");
  write_file(dir.path + "/app/second.txt", "2");
  ASSERT_EQ(tarvex({"pack", dir.path + "/app", "--main", "app.dll", "-o", second, "--launcher", first}).exit_code, 0);
  EXPECT_EQ(resources_without_payload(second), launcher_rc);
  auto r = tarvex({"list", second});
  EXPECT_TRUE(has(r.out, "second.txt") && !has(r.out, "readme.txt")) << r.out;
  e2e::RunResult run = e2e::run_windows(second, {"list", "exit", "5"});
  EXPECT_EQ(run.exit_code, 5u);
  EXPECT_TRUE(has(run.out, "file second.txt 1 ") && !has(run.out, "readme")) << run.out;
}

TEST(PackWine, AttachedFrameFromTheZstdToolRuns) {
  TempDir dir;
  const std::string module = read_file(test_module());
  const Bytes stream =
      encode_entry_stream({{u"app.dll", Bytes(module.begin(), module.end())}, {u"notes\\hi.txt", {'h', 'i'}}});
  write_file(dir.path + "/stream", std::string(stream.begin(), stream.end()));
  ASSERT_EQ(testing::run_command({"zstd", "-q", "-19", "--long=27", dir.path + "/stream", "-o", dir.path + "/frame"}).exit_code, 0);
  const std::string frame = read_file(dir.path + "/frame");
  const Bytes payload = wrap_frame(Bytes(frame.begin(), frame.end()));
  write_file(dir.path + "/payload", std::string(payload.begin(), payload.end()));
  auto r = tarvex({"attach", launcher(), "--payload", dir.path + "/payload", "-o", dir.path + "/z.exe"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  r = tarvex({"list", dir.path + "/z.exe"});
  EXPECT_TRUE(has(r.out, "           2  notes\\hi.txt")) << r.out;
  e2e::RunResult run = e2e::run_windows(dir.path + "/z.exe", {"list"});
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(has(run.out, "file notes\\hi.txt 2 ")) << run.out;
}

TEST(PackWine, WindowsBuildOfTarvexPacksTheSameExecutable) {
  TempDir dir;
  make_app(dir.path + "/app");
  const std::string windows_out = dir.path + "/windows.exe", host_out = dir.path + "/host.exe";
  // Installed side by side, the Windows tarvex finds the Launcher without --launcher.
  copy_file(windows_program("tool/tarvex.exe"), dir.path + "/bin/tarvex.exe");
  copy_file(launcher(), dir.path + "/bin/tarvex-launcher.exe");
  e2e::RunResult r = e2e::run_windows(dir.path + "/bin/tarvex.exe",
                                      {"pack", e2e::windows_path(dir.path + "/app"), "--main", "app.dll", "-o",
                                       e2e::windows_path(windows_out), "--level", "3", "--threads", "2"});
  ASSERT_EQ(r.exit_code, 0u) << r.out << r.err;
  ASSERT_EQ(pack(dir.path + "/app", host_out).exit_code, 0);
  EXPECT_EQ(read_file(windows_out), read_file(host_out));
  e2e::RunResult run = e2e::run_windows(windows_out, {"list", "exit", "7"});
  EXPECT_EQ(run.exit_code, 7u);
  EXPECT_TRUE(has(run.out, "file data\\readme.txt 8 ")) << run.out;
  r = e2e::run_windows(dir.path + "/bin/tarvex.exe", {"list", e2e::windows_path(windows_out)});
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_TRUE(has(r.out, "3 entries, ")) << r.out;
}

}  // namespace
}  // namespace tarvex::packer_test
