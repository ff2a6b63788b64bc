// Packed executables run under Wine: the example, a real DLL corpus round trip through list,
// extract and the Launcher, identical bytes on repeated packing, resources kept, packing a
// packed file again, a frame made by the zstd tool, the Windows build of tarvex itself,
// console and GUI programs through cmd, and the application's own icon.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "pe/icon_resources.h"
#include "pe/resource_tree.h"
#include "tests/support/host/packed_files.h"
#include "tests/support/host/wine_run.h"
#include "tests/support/icon_builder.h"
#include "tool/packer/cache_mode.h"
#include "tool/packer/payload_resource.h"

namespace tarvex::packer_test {
namespace {

namespace fs = std::filesystem;
using e2e::read_file;
using e2e::write_file;
using testing::has;
using testing::lines;
using testing::without_cr;

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
  auto r = tarvex({"pack", app, "--main", "hello.dll", "-o", dir.path + "/hello.exe", "--launcher", launcher_exe()});
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
    // One name for all: the output's name is part of the version record.
    const std::string out = dir.path + "/" + std::to_string(i) + "/app.exe";
    fs::create_directories(dir.path + "/" + std::to_string(i));
    ASSERT_EQ(pack(dir.path + "/app", out, variants[i]).exit_code, 0);
    if (i == 0) first = read_file(out);
    else EXPECT_EQ(read_file(out), first) << i;
  }
  fs::create_directories(dir.path + "/other");
  ASSERT_EQ(pack(dir.path + "/app", dir.path + "/other/app.exe", {"--no-check"}).exit_code, 0);
  EXPECT_NE(read_file(dir.path + "/other/app.exe"), first) << "the comparison can see a difference";
}

// Below 2^27 bytes the whole stream is one zstd job, so only a larger stream shows whether
// the worker count changes the frame: the whole corpus at level 1 makes two jobs.
TEST(PackWine, WholeCorpusSameBytesForOneAndTwoThreads) {
  TempDir dir;
  copy_file(test_module_dll(), dir.path + "/app/app.dll");
  ASSERT_EQ(
      testing::run_command({"cp", "-al", "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", dir.path + "/app/corpus"})
          .exit_code,
      0);
  fs::create_directories(dir.path + "/1");
  fs::create_directories(dir.path + "/2");
  ASSERT_EQ(pack(dir.path + "/app", dir.path + "/1/app.exe", {"--level", "1", "--threads", "1"}).exit_code, 0);
  ASSERT_EQ(pack(dir.path + "/app", dir.path + "/2/app.exe", {"--level", "1", "--threads", "2"}).exit_code, 0);
  EXPECT_GT(fs::file_size(dir.path + "/1/app.exe"), 100000000u);
  EXPECT_TRUE(read_file(dir.path + "/1/app.exe") == read_file(dir.path + "/2/app.exe"));
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
  copy_file(test_module_dll(), app + "/app.dll");
  const std::vector<std::string> names = corpus_sample(app);
  ASSERT_GE(names.size(), 200u);
  ASSERT_EQ(pack(app, exe).exit_code, 0);

  // list: the module first, then the corpus in name order, with sizes and totals.
  auto r = tarvex({"list", exe});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> listed = lines(r.out);
  // The entries, the totals, frame, mode and subsystem, and five lines of the record.
  ASSERT_EQ(listed.size(), names.size() + 10);
  auto expect_row = [&](const std::string& row, const std::string& name, const std::string& path) {
    std::istringstream in(row);
    uint64_t size = 0;
    std::string shown;
    in >> size >> shown;
    EXPECT_EQ(shown, name);
    EXPECT_EQ(size, fs::file_size(path)) << name;
  };
  expect_row(listed[0], "app.dll", app + "/app.dll");
  for (size_t i = 0; i < names.size(); ++i)
    expect_row(listed[i + 1], "corpus\\" + names[i], app + "/corpus/" + names[i]);
  EXPECT_EQ(listed[names.size() + 1].rfind(std::to_string(names.size() + 1) + " entries, ", 0), 0u);
  EXPECT_TRUE(has(listed[names.size() + 2], "content checksum yes")) << listed[names.size() + 2];
  EXPECT_EQ(listed[names.size() + 3], "mode temporary");
  EXPECT_EQ(listed[names.size() + 4], "subsystem Windows GUI (2)");
  EXPECT_EQ(listed.back(), "original file name corpus.exe");

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

// Without --cache the output is what attaching the same payload to the Launcher gives,
// byte for byte; with it, the same payload plus the record that `list` shows, which
// attaching a payload again removes. The default folder lies in Wine's local
// application data.
TEST(PackWine, CacheModeOnlyWhenAskedListedAndDroppedByAttach) {
  TempDir dir;
  const std::string app = dir.path + "/app";
  make_app(app);
  const std::vector<std::string> record = {"--company", "Acme: Tools",   "--product",
                                           "Widget..",  "--app-version", "2.3.4.5"};
  std::vector<std::string> cache_options = record;
  cache_options.push_back("--cache");
  ASSERT_EQ(pack(app, dir.path + "/plain.exe", record).exit_code, 0);
  ASSERT_EQ(pack(app, dir.path + "/cached.exe", cache_options).exit_code, 0);
  const Bytes plain = file_bytes(dir.path + "/plain.exe"), cached = file_bytes(dir.path + "/cached.exe");
  packer::PayloadView plain_payload, cached_payload;
  ASSERT_FALSE(packer::find_payload(plain, &plain_payload));
  ASSERT_FALSE(packer::find_payload(cached, &cached_payload));
  const Bytes payload(plain_payload.data, plain_payload.data + plain_payload.size);
  EXPECT_EQ(Bytes(cached_payload.data, cached_payload.data + cached_payload.size), payload);
  write_file(dir.path + "/payload.bin", std::string(payload.begin(), payload.end()));

  auto r = tarvex(
      {"attach", dir.path + "/plain.exe", "--payload", dir.path + "/payload.bin", "-o", dir.path + "/attached.exe"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(file_bytes(dir.path + "/attached.exe") == plain) << "attach changed more than the payload";
  EXPECT_EQ(packer::describe_mode(plain), "temporary");

  const std::string key = packer::payload_key(payload);
  r = tarvex({"list", dir.path + "/cached.exe"});
  EXPECT_TRUE(
      has(r.out, "\nmode cache, folder {CACHE_DIR}\\{COMPANY}\\{PRODUCT}\\{VERSION}\\" + key + ", 3 files recorded\n"))
      << r.out;
  r = tarvex(
      {"attach", dir.path + "/cached.exe", "--payload", dir.path + "/payload.bin", "-o", dir.path + "/again.exe"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(tarvex({"list", dir.path + "/again.exe"}).out, "\nmode temporary\n"));

  e2e::RunResult run = e2e::run_windows(dir.path + "/cached.exe", {"env"});
  ASSERT_EQ(run.exit_code, 0u) << run.out << run.err;
  std::string module_dir;
  for (const std::string& line : lines(run.out))
    if (line.rfind("MODULE_DIR=", 0) == 0) module_dir = line.substr(11);
  // The executable's own record names the folders, each made a safe folder name.
  const std::string tail = "\\AppData\\Local\\Acme_ Tools\\Widget__\\2.3.4.5\\" + key;
  ASSERT_GT(module_dir.size(), tail.size()) << run.out;
  EXPECT_EQ(module_dir.substr(module_dir.size() - tail.size()), tail);
  ASSERT_EQ(module_dir.rfind("C:\\users\\", 0), 0u) << module_dir;
  std::string unix_dir = e2e::wine_prefix() + "/drive_c/" + module_dir.substr(3);
  std::replace(unix_dir.begin(), unix_dir.end(), '\\', '/');
  EXPECT_TRUE(fs::is_directory(unix_dir)) << unix_dir;
  e2e::remove_tree(unix_dir);
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
  fs::create_directories(dir.path + "/again");
  const std::string first = dir.path + "/first.exe", second = dir.path + "/again/first.exe";
  const std::vector<std::string> look = {
      "--company",   "Acme",     "--product",         "Widget Pro",       "--app-version", "2.3.4.5",
      "--copyright", "(c) Acme", "--execution-level", "highestAvailable", "--dpi-aware",   "permonitorv2"};
  ASSERT_EQ(pack(dir.path + "/app", first, look).exit_code, 0);

  auto dump = testing::run_command({"x86_64-w64-mingw32-objdump", "-p", first});
  EXPECT_EQ(dump.exit_code, 0) << dump.err;
  EXPECT_TRUE(has(dump.out, "Resource Directory [.rsrc]")) << dump.out;
  // binutils, a reader of its own, finds every field; so does tarvex list.
  const std::string first_rc = resources_without_payload(first);
  for (const char* part :
       {"FILEVERSION 2, 3, 4, 5", "PRODUCTVERSION 2, 3, 4, 5", "\"CompanyName\", \"Acme\"",
        "\"ProductName\", \"Widget Pro\"", "\"FileDescription\", \"Widget Pro\"", "\"FileVersion\", \"2.3.4.5\"",
        "\"ProductVersion\", \"2.3.4.5\"", "\"LegalCopyright\", \"(c) Acme\"", "\"OriginalFilename\", \"first.exe\"",
        "name=\"\"Widget_Pro\"\" version=\"\"2.3.4.5\"\"", "highestAvailable", "PerMonitorV2", "longPathAware",
        "Common-Controls", "ICON"})
    EXPECT_TRUE(has(first_rc, part)) << part << "\n" << first_rc;
  auto r = tarvex({"list", first});
  for (const char* line :
       {"\nversion 2.3.4.5\n", "\ncompany Acme\n", "\nproduct Widget Pro\n", "\ndescription Widget Pro\n",
        "\nfile version 2.3.4.5\n", "\ncopyright (c) Acme\n", "\noriginal file name first.exe\n"})
    EXPECT_TRUE(has(r.out, line)) << line << r.out;

  // A packed file is a Launcher too: packing into it replaces the payload and the look.
  fs::remove(dir.path + "/app/data/readme.txt");
  write_file(dir.path + "/app/second.txt", "2");
  std::vector<std::string> args = {"pack", dir.path + "/app", "--main", "app.dll", "-o", second, "--launcher", first};
  args.insert(args.end(), look.begin(), look.end());
  ASSERT_EQ(tarvex(args).exit_code, 0);
  EXPECT_EQ(resources_without_payload(second), first_rc);
  r = tarvex({"list", second});
  EXPECT_TRUE(has(r.out, "second.txt") && !has(r.out, "readme.txt")) << r.out;
  e2e::RunResult run = e2e::run_windows(second, {"list", "exit", "5"});
  EXPECT_EQ(run.exit_code, 5u);
  EXPECT_TRUE(has(run.out, "file second.txt 1 ") && !has(run.out, "readme")) << run.out;
}

TEST(PackWine, AttachedFrameFromTheZstdToolRuns) {
  TempDir dir;
  const std::string module = read_file(test_module_dll());
  const Bytes stream =
      encode_entry_stream({{u"app.dll", Bytes(module.begin(), module.end())}, {u"notes\\hi.txt", {'h', 'i'}}});
  write_file(dir.path + "/stream", std::string(stream.begin(), stream.end()));
  ASSERT_EQ(testing::run_command({"zstd", "-q", "-19", "--long=27", dir.path + "/stream", "-o", dir.path + "/frame"})
                .exit_code,
            0);
  const std::string frame = read_file(dir.path + "/frame");
  const Bytes payload = wrap_frame(Bytes(frame.begin(), frame.end()));
  write_file(dir.path + "/payload", std::string(payload.begin(), payload.end()));
  auto r = tarvex({"attach", launcher_exe(), "--payload", dir.path + "/payload", "-o", dir.path + "/z.exe"});
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
  const std::string windows_out = dir.path + "/w/app.exe", host_out = dir.path + "/h/app.exe";
  fs::create_directories(dir.path + "/w");
  fs::create_directories(dir.path + "/h");
  // Installed side by side, the Windows tarvex finds the Launcher without --launcher.
  copy_file(windows_program("tool/tarvex.exe"), dir.path + "/bin/tarvex.exe");
  copy_file(launcher_exe(), dir.path + "/bin/tarvex-launcher.exe");
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

struct SubsystemCase {
  const char* name;
  std::vector<std::string> options;
  bool into_console_program;  // --launcher is a packed console program
  uint16_t subsystem;
  const char* listed;
};

void PrintTo(const SubsystemCase& c, std::ostream* os) { *os << c.name; }

class PackSubsystem : public ::testing::TestWithParam<SubsystemCase> {};

// Under Wine cmd waits for a GUI program too and passes its exit code on, so only the
// Subsystem field itself tells the two apart there; what both must do is the rest.
TEST_P(PackSubsystem, FieldChecksumListAndARunThroughCmd) {
  const SubsystemCase& c = GetParam();
  TempDir dir;
  make_app(dir.path + "/app");
  std::string into = launcher_exe();
  if (c.into_console_program) {
    into = dir.path + "/console.exe";
    ASSERT_EQ(pack(dir.path + "/app", into, {"--console"}).exit_code, 0);
  }
  const std::string exe = dir.path + "/app.exe";
  std::vector<std::string> args = {"pack", dir.path + "/app", "--main", "app.dll", "-o", exe, "--launcher", into};
  args.insert(args.end(), c.options.begin(), c.options.end());
  auto r = tarvex(args);
  ASSERT_EQ(r.exit_code, 0) << r.err;

  const Bytes file = file_bytes(exe);
  pe::Image image;
  ASSERT_FALSE(pe::parse_image(file, &image));
  EXPECT_EQ(image.subsystem, c.subsystem);
  const size_t checksum = image.optional_header + pe::kCheckSumField;
  EXPECT_EQ(get32(file, checksum), pe::pe_checksum(file, checksum));
  r = tarvex({"list", exe});
  EXPECT_TRUE(has(r.out, std::string("\n") + c.listed + "\n")) << r.out;

  // %ERRORLEVEL% is read once the program has ended: with delayed expansion, as a line
  // of several commands needs in Windows' cmd.
  e2e::RunOptions in_dir;
  in_dir.directory = dir.path;
  e2e::RunResult run = e2e::run_windows_line(
      "cmd /v:on /c \"app.exe args \"two words\" exit 0xC0000005 & echo errorlevel=!errorlevel!\"", in_dir);
  ASSERT_TRUE(run.reported) << run.err;
  EXPECT_TRUE(has(run.out, "arg[2]=74776f20776f726473\r\n")) << "two words" << run.out;
  EXPECT_TRUE(has(run.out, "errorlevel=-1073741819\r\n")) << run.out;
  run = e2e::run_windows_line("cmd /c app.exe exit 300", in_dir);
  ASSERT_TRUE(run.reported) << run.err;
  EXPECT_EQ(run.exit_code, 300u) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Options, PackSubsystem,
    ::testing::Values(
        SubsystemCase{"gui_by_default", {}, false, pe::kSubsystemWindowsGui, "subsystem Windows GUI (2)"},
        SubsystemCase{"console", {"--console"}, false, pe::kSubsystemWindowsCui, "subsystem Windows console (3)"},
        SubsystemCase{
            "gui_when_packed_into_a_console_program", {}, true, pe::kSubsystemWindowsGui, "subsystem Windows GUI (2)"}),
    [](const ::testing::TestParamInfo<SubsystemCase>& info) { return std::string(info.param.name); });

// Resources as comparable lines: type, name, language and a hash of the bytes.
std::vector<std::string> describe(const std::vector<pe::Resource>& list) {
  auto key = [](const pe::ResourceKey& k) {
    return k.named ? std::string(k.text.begin(), k.text.end()) : "#" + std::to_string(k.id);
  };
  std::vector<std::string> out;
  for (const pe::Resource& r : list)
    out.push_back(key(r.type) + " " + key(r.name) + " " + key(r.language) + " " + std::to_string(r.size) + " " +
                  std::to_string(fnv1a(std::string(r.data, r.data + r.size))));
  std::sort(out.begin(), out.end());
  return out;
}

TEST(PackWine, IconReplacesTheLaunchersImagesByteForByte) {
  TempDir dir;
  make_app(dir.path + "/app");
  const Bytes icon = testing::icon_file(testing::mixed_icon());
  write_file(dir.path + "/app.ico", std::string(icon.begin(), icon.end()));
  const std::string exe = dir.path + "/icon/app.exe", plain = dir.path + "/plain/app.exe";
  fs::create_directories(dir.path + "/icon");
  fs::create_directories(dir.path + "/plain");
  ASSERT_EQ(pack(dir.path + "/app", exe, {"--icon", dir.path + "/app.ico"}).exit_code, 0);
  ASSERT_EQ(pack(dir.path + "/app", plain).exit_code, 0);

  // Read back with the project's reader: the .ico's group and images, nothing of the
  // Launcher's icon, every other resource as it was.
  expect_icon(exe, icon);
  auto not_icon = [](const std::string& exe) {
    const Bytes file = file_bytes(exe);
    pe::Image image;
    std::vector<pe::Resource> resources, kept;
    EXPECT_FALSE(pe::parse_image(file, &image));
    EXPECT_FALSE(pe::read_resources(file, image, &resources));
    for (const pe::Resource& r : resources)
      if (!(r.type == pe::ResourceKey::of_id(pe::kIconType)) &&
          !(r.type == pe::ResourceKey::of_id(pe::kIconGroupType)) &&
          !(r.type == pe::ResourceKey::of_id(10) && r.name == pe::ResourceKey::of_id(27)))
        kept.push_back(r);
    return describe(kept);
  };
  const std::vector<std::string> launcher_kept = not_icon(launcher_exe());
  EXPECT_EQ(launcher_kept.size(), 2u) << "the version record and the manifest";
  EXPECT_EQ(not_icon(plain).size(), launcher_kept.size());
  EXPECT_EQ(not_icon(exe), not_icon(plain));

  // binutils reads the same tree.
  auto rc = testing::run_command({"x86_64-w64-mingw32-windres", "-i", exe, "-O", "rc"});
  ASSERT_EQ(rc.exit_code, 0) << rc.err;
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = rc.out.find(what); at != std::string::npos; at = rc.out.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("/* RT_ICON */"), 4u);
  EXPECT_EQ(count("/* RT_GROUP_ICON */"), 1u);

  // The running executable: the shell finds one icon, and the loader picks each size
  // from the new images (the Launcher's own 48-pixel image is its third, a bitmap; the
  // new one is the fourth, the PNG).
  e2e::RunResult run = e2e::run_windows(exe, {"icon", "exit", "3"});
  EXPECT_EQ(run.exit_code, 3u) << run.err;
  EXPECT_EQ(without_cr(run.out), "icon_groups=1\nicon 16=1 16x16\nicon 32=3 32x32\nicon 48=4 48x48\n");
  run = e2e::run_windows(plain, {"icon"});
  EXPECT_EQ(run.exit_code, 0u) << run.err;
  EXPECT_EQ(without_cr(run.out), "icon_groups=1\nicon 16=1 16x16\nicon 32=2 32x32\nicon 48=3 48x48\n");
}

}  // namespace
}  // namespace tarvex::packer_test

namespace tarvex::packer_test {
namespace {

// One table of entry names, refused alike by every reader: pack, attach, extract and
// the Launcher. Each says which entry in one line, ends with exit code 2 and leaves
// nothing behind.
TEST(EntryNameRules, EveryReaderRefusesTheSameNames) {
  const std::vector<std::vector<std::string>> cases = {
      {"CON"}, {"nul.txt"}, {"COM1.log"}, {"a."}, {"b "}, {std::string("c\x01", 2)}, {"Same.txt", "same.TXT"}};
  for (const auto& names : cases) {
    std::string shown = names.back();
    std::replace(shown.begin(), shown.end(), '\x01', '?');
    SCOPED_TRACE(shown);
    TempDir dir;
    std::vector<PayloadEntry> entries = {{u"app.dll", file_bytes(test_module_dll())}};
    make_app(dir.path + "/app");
    for (const std::string& name : names) {
      ASSERT_TRUE(write_file(dir.path + "/app/" + name, "x"));
      entries.push_back({std::u16string(name.begin(), name.end()), Bytes{'x'}});
    }
    const Bytes payload = build_payload(entries);
    ASSERT_TRUE(write_file(dir.path + "/payload.bin", std::string(payload.begin(), payload.end())));
    ASSERT_TRUE(e2e::make_onefile(entries, dir.path + "/bad.exe"));
    ASSERT_EQ(mkdir((dir.path + "/tmp").c_str(), 0755), 0);
    const std::vector<std::string> before = list_dir(dir.path);

    std::vector<testing::CommandResult> results = {
        pack(dir.path + "/app", dir.path + "/out.exe"),
        tarvex({"attach", launcher_exe(), "--payload", dir.path + "/payload.bin", "-o", dir.path + "/out.exe"}),
        tarvex({"extract", dir.path + "/bad.exe", dir.path + "/out"})};
    e2e::RunOptions options;
    options.temp_dir = dir.path + "/tmp";
    const e2e::RunResult launched = e2e::run_windows(dir.path + "/bad.exe", {}, options);
    results.push_back({static_cast<int>(launched.exit_code), launched.out, launched.err});
    for (const testing::CommandResult& r : results) {
      EXPECT_EQ(r.exit_code, 2) << r.err;
      EXPECT_TRUE(!r.err.empty() && r.err.find('\n') == r.err.size() - 1) << r.err;
      EXPECT_TRUE(has(r.err, shown) || has(r.err, names.back())) << r.err;
    }
    EXPECT_EQ(list_dir(dir.path), before);
    EXPECT_TRUE(list_dir(dir.path + "/tmp").empty());
  }
}

}  // namespace
}  // namespace tarvex::packer_test
