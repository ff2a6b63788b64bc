// The command line of pack, list and extract: help, usage errors, and every refusal ending
// with exit code 2, one line naming the file and the reason, and nothing written.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "payload/format.h"
#include "payload/writer.h"
#include "pe/pe_image.h"
#include "tests/support/host/packed_files.h"
#include "tests/support/host/wine_run.h"
#include "tests/support/icon_builder.h"

namespace tarvex::packer_test {
namespace {

namespace fs = std::filesystem;
using e2e::read_file;
using e2e::write_file;

bool one_line(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }
TEST(PackCli, HelpVersionAndUsageErrors) {
  auto r = tarvex({"--help"});
  EXPECT_EQ(r.exit_code, 0);
  for (const char* command : {"pack", "list", "extract", "attach"}) EXPECT_TRUE(has(r.out, command)) << command;
  r = tarvex({"pack", "--help"});
  EXPECT_EQ(r.exit_code, 0);
  for (const char* text : {"--main", "--launcher", "--level", "--threads", "--no-check", "--console", "--icon",
                           "name + \".exe\"", "--cache", "--cache-dir", "{CACHE_DIR}\\{COMPANY}\\{PRODUCT}\\{VERSION}"})
    EXPECT_TRUE(has(r.out, text)) << text;
  EXPECT_EQ(tarvex({"--version"}).out, "tarvex 1.0.0\n");
  const std::vector<std::vector<std::string>> usage_errors = {{},
                                                              {"pack", "app"},
                                                              {"pack", "--main", "a.dll"},
                                                              {"pack", "app", "--main", "a.dll", "--level", "23"},
                                                              {"pack", "app", "--main", "a.dll", "--threads", "0"},
                                                              {"list"},
                                                              {"extract", "a.exe"},
                                                              {"list", "a", "b"},
                                                              {"unpack", "a.exe"}};
  for (const auto& args : usage_errors) {
    SCOPED_TRACE(args.empty() ? "" : args.back());
    r = tarvex(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_FALSE(r.err.empty());
  }
}

// Patches one 16-bit field of a copy of a PE file.
void patch16(const std::string& from, const std::string& to, size_t field_from_pe_header, uint16_t value) {
  std::string bytes = read_file(from);
  const size_t pe = static_cast<uint8_t>(bytes[0x3C]) | static_cast<uint8_t>(bytes[0x3D]) << 8;
  bytes[pe + field_from_pe_header] = static_cast<char>(value);
  bytes[pe + field_from_pe_header + 1] = static_cast<char>(value >> 8);
  write_file(to, bytes);
}

// A copy of the Launcher that claims an Authenticode signature at its end.
void fake_signature(const std::string& to) {
  std::string bytes = read_file(launcher_exe());
  const size_t pe = static_cast<uint8_t>(bytes[0x3C]) | static_cast<uint8_t>(bytes[0x3D]) << 8;
  const size_t certificate_entry = pe + 24 + 112 + 4 * 8;
  const uint32_t offset = static_cast<uint32_t>(bytes.size()), size = 16;
  for (int i = 0; i < 4; ++i) {
    bytes[certificate_entry + i] = static_cast<char>(offset >> (8 * i));
    bytes[certificate_entry + 4 + i] = static_cast<char>(size >> (8 * i));
  }
  write_file(to, bytes + std::string(size, '\0'));
}

struct Inputs {
  std::string dir, app, main = "app.dll", launcher, icon;
  std::vector<std::string> extra;  // more options
  std::string output;              // empty: out.exe beside the folder
};

std::function<void(Inputs&)> cache_dir(std::string folder_template) {
  return [folder_template](Inputs& s) { s.extra = {"--cache-dir", folder_template}; };
}

std::function<void(Inputs&)> options(std::vector<std::string> extra) {
  return [extra](Inputs& s) { s.extra = extra; };
}

// Writes bad.ico for --icon: the mixed test icon as `change` leaves it.
std::function<void(Inputs&)> bad_icon(std::function<void(Bytes&)> change) {
  return [change](Inputs& s) {
    Bytes icon = testing::icon_file(testing::mixed_icon());
    change(icon);
    s.icon = s.dir + "/bad.ico";
    write_file(s.icon, std::string(icon.begin(), icon.end()));
  };
}
using testing::icon_entry;
using testing::kEntryOffset;
using testing::kEntrySize;

TEST(PackCli, BadInputIsRefusedAndNothingIsWritten) {
  struct Case {
    const char* label;
    std::function<void(Inputs&)> prepare;
    const char* file;    // part of the path named in the line
    const char* reason;  // part of the reason
  } cases[] = {
      {"no folder", [](Inputs& s) { s.app = s.dir + "/nope"; }, "nope", "no such folder"},
      {"not a folder", [](Inputs& s) { s.app += "/data/readme.txt"; }, "readme.txt", "not a folder"},
      {"main missing", [](Inputs& s) { s.main = "missing.dll"; }, "missing.dll", "names no file"},
      {"output over the main module", [](Inputs& s) { s.output = s.app + "/app.dll"; }, "app/app.dll",
       "-o names the --main module"},
      {"main above",
       [](Inputs& s) {
         copy_file(test_module_dll(), s.dir + "/up.dll");
         s.main = "../up.dll";
       },
       "up.dll", "outside the application folder"},
      {"main absolute",
       [](Inputs& s) {
         copy_file(test_module_dll(), s.dir + "/up.dll");
         s.main = s.dir + "/up.dll";
       },
       "up.dll", "outside the application folder"},
      {"main not PE", [](Inputs& s) { s.main = "data/readme.txt"; }, "readme.txt", "not a PE32+ x86-64 image"},
      {"main 32-bit", [](Inputs& s) { patch16(test_module_dll(), s.app + "/app.dll", 4, 0x14C); }, "app.dll",
       "machine type 0x14c"},
      {"main an ARM64 program",
       [](Inputs& s) { patch16(windows_program("tests/e2e/run_and_report.exe"), s.app + "/app.dll", 4, 0xAA64); },
       "app.dll", "machine type 0xaa64"},
      {"main without run_code",
       [](Inputs& s) { copy_file(windows_program("tests/e2e/no_entry_module.dll"), s.app + "/app.dll"); }, "app.dll",
       "does not export run_code"},
      {"device name", [](Inputs& s) { write_file(s.app + "/data/Aux.txt", ""); }, "Aux.txt", "device name"},
      {"bar", [](Inputs& s) { write_file(s.app + "/data/a|b", ""); }, "a|b", "'|'"},
      {"trailing dot", [](Inputs& s) { write_file(s.app + "/data/notes.", ""); }, "notes.", "dot or a space"},
      {"1024 units",
       [](Inputs& s) {
         std::string p = s.app;
         for (int i = 0; i < 6; ++i) p += "/" + std::string(200, 'd');
         fs::create_directories(p);
         write_file(p + "/f", "");
       },
       "/dddd", "1023"},
      {"case twins",
       [](Inputs& s) {
         fs::create_directories(s.app + "/Data");
         write_file(s.app + "/Data/README.TXT", "");
       },
       "readme.txt", "letter case"},
      {"bad UTF-8", [](Inputs& s) { write_file(s.app + "/data/\xFF.txt", ""); }, "\xFF.txt", "UTF-8"},
      {"link outside",
       [](Inputs& s) {
         write_file(s.dir + "/secret", "s");
         fs::create_symlink(s.dir + "/secret", s.app + "/data/link");
       },
       "link", "leads outside"},
      {"launcher not PE", [](Inputs& s) { s.launcher = s.app + "/data/readme.txt"; }, "readme.txt",
       "not a PE32+ x86-64 image"},
      {"launcher a DLL", [](Inputs& s) { s.launcher = test_module_dll(); }, "test_module.dll", "not a program"},
      {"launcher signed",
       [](Inputs& s) {
         s.launcher = s.dir + "/signed.exe";
         fake_signature(s.launcher);
       },
       "signed.exe", "Authenticode"},
      {"launcher missing", [](Inputs& s) { s.launcher = s.dir + "/none.exe"; }, "none.exe", "No such file"},
      {"icon missing", [](Inputs& s) { s.icon = s.dir + "/none.ico"; }, "none.ico", "No such file"},
      {"icon too short", bad_icon([](Bytes& b) { b.resize(5); }), "bad.ico",
       "5 bytes long, too short for an icon header"},
      {"icon reserved field", bad_icon([](Bytes& b) { put16(b, 0, 1); }), "bad.ico", "reserved field is 1, not 0"},
      {"icon a cursor", bad_icon([](Bytes& b) { put16(b, 2, 2); }), "bad.ico", "a cursor, not an icon"},
      {"icon type", bad_icon([](Bytes& b) { put16(b, 2, 3); }), "bad.ico", "type is 3, not 1"},
      {"icon no images", bad_icon([](Bytes& b) { put16(b, 4, 0); }), "bad.ico", "holds no images"},
      {"icon directory cut", bad_icon([](Bytes& b) { b.resize(icon_entry(2) + 3); }), "bad.ico",
       "too short for the directory of its 4 images"},
      {"icon image past the end",
       bad_icon([](Bytes& b) { put32(b, icon_entry(3) + kEntrySize, get32(b, icon_entry(3) + kEntrySize) + 1); }),
       "bad.ico", "image 4 (bytes "},
      {"icon offset wraps", bad_icon([](Bytes& b) { put32(b, icon_entry(1) + kEntryOffset, 0xFFFFFF00u); }), "bad.ico",
       "image 2 (bytes 4294967040 to "},
      {"icon image over the directory",
       bad_icon([](Bytes& b) { put32(b, icon_entry(0) + kEntryOffset, icon_entry(3) + 8); }), "bad.ico",
       "image 1 overlaps the icon's header and directory"},
      {"icon image empty", bad_icon([](Bytes& b) { put32(b, icon_entry(2) + kEntrySize, 0); }), "bad.ico",
       "image 3 is empty"},
      {"icon images overlap",
       bad_icon([](Bytes& b) { put32(b, icon_entry(0) + kEntryOffset, get32(b, icon_entry(1) + kEntryOffset) + 4); }),
       "bad.ico", "image 2 overlaps image 1"},
      {"icon bitmap cut", bad_icon([](Bytes& b) { put32(b, icon_entry(2) + kEntrySize, 40 + 32 * 32 * 4 - 1); }),
       "bad.ico", "image 3 holds 4135 bytes, fewer than the 4136 that its 32 by 32 bitmap at 32 bits per pixel needs"},
      {"icon image not a picture", bad_icon([](Bytes& b) { b[get32(b, icon_entry(0) + kEntryOffset)] = 41; }),
       "bad.ico", "image 1 is neither a PNG image nor a bitmap"},
      {"icon bitmap compressed", bad_icon([](Bytes& b) { b[get32(b, icon_entry(2) + kEntryOffset) + 16] = 3; }),
       "bad.ico", "image 3 is a compressed bitmap"},
      {"icon bits per pixel", bad_icon([](Bytes& b) { b[get32(b, icon_entry(2) + kEntryOffset) + 14] = 7; }), "bad.ico",
       "image 3 is a bitmap of 7 bits per pixel"},
      {"cache dir unknown variable", cache_dir("{CACHE_DIR}\\{TMP}"), "--cache-dir '{CACHE_DIR}\\{TMP}'",
       "{TMP} is not a template variable"},
      {"cache dir empty", cache_dir(""), "--cache-dir ''", "the folder template is empty"},
      {"cache dir per process", cache_dir("{TEMP}\\{PID}"), "--cache-dir '{TEMP}\\{PID}'", "would never be reused"},
      {"cache dir relative", cache_dir("cache"), "--cache-dir 'cache'", "absolute"},
      {"version three numbers", options({"--app-version", "1.2.3"}), "1.2.3: cannot use it as --app-version",
       "four numbers"},
      {"version over 65535", options({"--app-version", "1.65536.0.0"}), "1.65536.0.0: cannot use it as --app-version",
       "0 to 65535"},
      {"version text too long", options({"--company", std::string(40000, 'c')}), "out.exe",
       "too long for a version record"},
      {"version from no record",
       [](Inputs& s) {
         s.extra = {"--version-from", test_module_dll()};
       },
       "test_module.dll", "no readable version record"},
      {"manifest not XML",
       [](Inputs& s) {
         write_file(s.dir + "/m.xml", "<assembly><x></assembly>");
         s.extra = {"--manifest", s.dir + "/m.xml"};
       },
       "m.xml", "does not match its start tag"},
      {"icon bitmap without pixels",
       bad_icon([](Bytes& b) { put32(b, get32(b, icon_entry(2) + kEntryOffset) + 4, 0); }), "bad.ico",
       "image 3 is a bitmap of 0 by 32 pixels"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    Inputs s{dir.path, dir.path + "/app", "app.dll", launcher_exe(), "", {}, ""};
    make_app(s.app);
    c.prepare(s);
    const std::vector<std::string> before = list_dir(dir.path);
    const std::string output = s.output.empty() ? dir.path + "/out.exe" : s.output;
    std::vector<std::string> args = {"pack", s.app, "--main", s.main, "-o", output, "--launcher", s.launcher};
    if (!s.icon.empty()) args.insert(args.end(), {"--icon", s.icon});
    args.insert(args.end(), s.extra.begin(), s.extra.end());
    auto r = tarvex(args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_TRUE(has(r.err, c.file) && has(r.err, c.reason)) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(list_dir(dir.path), before) << "no output, no temporary file";
  }
}

TEST(PackCli, UnwritableOutputLeavesNothing) {
  TempDir dir;
  make_app(dir.path + "/app");
  auto r = pack(dir.path + "/app", dir.path + "/missing/out.exe");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(one_line(r.err) && has(r.err, "out.exe")) << r.err;
  EXPECT_EQ(list_dir(dir.path), std::vector<std::string>{"app"});
}

TEST(PackCli, EmptyFolderIsAWarning) {
  TempDir dir;
  make_app(dir.path + "/app");
  fs::create_directories(dir.path + "/app/logs");
  auto r = pack(dir.path + "/app", dir.path + "/out.exe");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(one_line(r.err) && has(r.err, "app/logs") && has(r.err, "warning")) << r.err;
  EXPECT_TRUE(fs::exists(dir.path + "/out.exe"));
}

TEST(PackCli, CacheFolderOutsideTheUsersFoldersIsAWarning) {
  const struct {
    const char* folder_template;
    bool warned;
  } cases[] = {{"{CACHE_DIR}\\x", false},
               {"{home}\\x", false},
               {"{TEMP}", false},
               {"C:\\ProgramData\\x", true},
               {"{PROGRAM_DIR}\\x", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder_template);
    TempDir dir;
    make_app(dir.path + "/app");
    auto r = tarvex({"pack", dir.path + "/app", "--main", "app.dll", "-o", dir.path + "/out.exe", "--launcher",
                     launcher_exe(), "--cache", "--cache-dir", c.folder_template});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    if (c.warned) EXPECT_TRUE(one_line(r.err) && has(r.err, "warning") && has(r.err, c.folder_template)) << r.err;
    else EXPECT_EQ(r.err, "");
  }
}

TEST(PackCli, DefaultLauncherAndOutput) {
  TempDir dir;
  make_app(dir.path + "/app");
  copy_file(tarvex_tool(), dir.path + "/bin/tarvex");
  fs::permissions(dir.path + "/bin/tarvex", fs::perms::owner_all);
  auto r = testing::run_command({"sh", "-c", "cd " + dir.path + " && bin/tarvex pack app --main app.dll --level 3"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(one_line(r.err) && has(r.err, dir.path + "/bin/tarvex-launcher.exe")) << r.err;

  copy_file(launcher_exe(), dir.path + "/bin/tarvex-launcher.exe");
  r = testing::run_command({"sh", "-c", "cd " + dir.path + " && bin/tarvex pack app --main app.dll --level 3"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string first = read_file(dir.path + "/app.exe");
  EXPECT_EQ(first.substr(0, 2), "MZ");

  // Packing "." from inside the folder writes app.exe into it; a second run leaves it out.
  for (int run = 0; run < 2; ++run) {
    r = testing::run_command({"sh", "-c", "cd " + dir.path + "/app && ../bin/tarvex pack . --main app.dll --level 3"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
  EXPECT_TRUE(has(r.err, "left out")) << r.err;
  EXPECT_EQ(read_file(dir.path + "/app/app.exe"), first);
}

TEST(ListExtract, UnsafeNamesDamageAndMissingPayloadLeaveNothing) {
  TempDir dir;
  const Bytes module = {'M', 'Z'};
  for (const char16_t* name :
       {u"..\\evil.txt", u"a\\..\\..\\evil.txt", u"\\evil.txt", u"C:\\evil.txt", u"C:evil.txt"}) {
    SCOPED_TRACE(std::string(name, name + std::char_traits<char16_t>::length(name)));
    ASSERT_TRUE(
        e2e::make_onefile_from_resource(build_payload({{u"app.dll", module}, {name, {'x'}}}), dir.path + "/bad.exe"));
    auto r = tarvex({"extract", dir.path + "/bad.exe", dir.path + "/sub/out"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(one_line(r.err) && has(r.err, "bad.exe") && has(r.err, "its entry '")) << r.err;
    EXPECT_EQ(list_dir(dir.path), std::vector<std::string>{"bad.exe"});  // not even sub/
  }

  // Damage the reader finds only after the first entry was written: extract must take
  // back what it wrote.
  WriterOptions checked;
  checked.checksum = true;
  std::string varied(300000, '\0');
  for (size_t i = 0; i < varied.size(); ++i) varied[i] = static_cast<char>(i * 7 % 251);
  const Bytes good = build_payload({{u"app.dll", Bytes(varied.begin(), varied.end())}, {u"x", {'x'}}}, checked);
  const size_t frame_end = good.size() - payload::kTrailerSize;
  Bytes huge_window = good, wrong_checksum = good;
  huge_window[payload::kSignatureSize + 5] = 0xFF;  // the window descriptor after magic and frame header byte
  wrong_checksum[frame_end - 1] ^= 1;
  const Bytes cut(good.begin(), good.begin() + frame_end - 40);
  const Bytes long_name = build_payload({{u"app.dll", module}, {std::u16string(1024, u'n'), {'x'}}});
  fs::remove(dir.path + "/bad.exe");
  struct Case {
    const char* label;
    Bytes resource;  // empty: the bare Launcher, without a payload
    std::string reason;
  } cases[] = {
      {"window", huge_window,
       "damaged payload: Frame requires too much memory for decoding (Error, couldn't decode attached data.)"},
      {"checksum", wrong_checksum,
       "damaged payload: Restored data doesn't match checksum (Error, couldn't decode attached data.)"},
      {"cut", cut, "damaged payload: the data ends before the entries do (Error, couldn't decode attached data.)"},
      {"name", long_name,
       "damaged payload: an entry name is longer than 1023 units (Error, a payload entry name does not fit 1023 "
       "characters.)"},
      {"no payload", {}, "Error, couldn't find attached data header."},
  };
  for (const Case& c : cases) {
    const std::string exe = c.resource.empty() ? launcher_exe() : dir.path + "/" + c.label + ".exe";
    if (!c.resource.empty()) {
      ASSERT_TRUE(e2e::make_onefile_from_resource(c.resource, exe));
    }
    const std::vector<std::string> before = list_dir(dir.path);
    for (const std::string command : {"list", "extract"}) {
      SCOPED_TRACE(command + " " + c.label);
      auto r = command == "list" ? tarvex({"list", exe}) : tarvex({"extract", exe, dir.path + "/out"});
      EXPECT_EQ(r.exit_code, 2);
      EXPECT_EQ(r.err, "tarvex: " + exe + ": " + c.reason + "\n");
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(list_dir(dir.path), before);
    }
  }
  fs::create_directories(dir.path + "/full/x");
  auto r = tarvex({"extract", launcher_exe(), dir.path + "/full"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(one_line(r.err) && has(r.err, "not an empty folder")) << r.err;
}

// The streams that a terminal would see: one pseudo-terminal for both.
std::string run_on_terminal(const std::vector<std::string>& argv) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  std::string seen;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) seen.append(buffer, n);
  waitpid(pid, nullptr, 0);
  close(master);
  return seen;
}

TEST(PackCli, ProgressBarOnlyOnATerminal) {
  TempDir dir;
  make_app(dir.path + "/app");
  const std::string seen = run_on_terminal({tarvex_tool(), "pack", dir.path + "/app", "--main", "app.dll", "-o",
                                            dir.path + "/out.exe", "--launcher", launcher_exe(), "--level", "3"});
  EXPECT_TRUE(has(seen, "\rpacking [") && has(seen, "100.0%")) << seen;
  EXPECT_TRUE(
      has(run_on_terminal({tarvex_tool(), "extract", dir.path + "/out.exe", dir.path + "/x"}), "\rextracting ["));
  auto r = tarvex({"extract", dir.path + "/out.exe", dir.path + "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace tarvex::packer_test
