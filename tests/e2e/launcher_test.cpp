// The whole Launcher under Wine: real onefile executables, real payloads.
#include <gtest/gtest.h>

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/host/onefile.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::e2e {
namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Every file, folder and link below `dir`, links not followed.
std::vector<std::string> entries_below(const std::string& dir) {
  std::vector<std::string> entries;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    entries.push_back(it->path().string());
  return entries;
}

size_t count_files(const std::string& dir) {
  std::vector<std::string> entries = entries_below(dir);
  return std::count_if(entries.begin(), entries.end(), [](const std::string& e) {
    struct stat st;
    return lstat(e.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  });
}

// "NAME=value" lines of the module's output.
std::map<std::string, std::string> values(const std::string& out) {
  std::map<std::string, std::string> v;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    if (eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return v;
}

// The arguments the module printed (as hex of their UTF-8 bytes).
// Every MODULE_DIR= line of `out`, one per instance that reported it.
std::vector<std::string> module_dirs(const std::string& out) {
  std::istringstream in(out);
  std::vector<std::string> dirs;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("MODULE_DIR=", 0) == 0) dirs.push_back(line);
  return dirs;
}

std::vector<std::string> args_seen(const std::string& out) {
  std::vector<std::string> args;
  auto v = values(out);
  for (int i = 0; v.count("arg[" + std::to_string(i) + "]"); ++i) {
    const std::string& hex = v["arg[" + std::to_string(i) + "]"];
    std::string arg;
    for (size_t k = 0; k + 1 < hex.size(); k += 2) arg += static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16));
    args.push_back(arg);
  }
  return args;
}

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir("t");  // short enough to be its own 8.3 name
    ASSERT_FALSE(dir_.empty());
    // A temporary folder of its own, so that tests running side by side do not see
    // each other's extraction folders.
    temp_ = dir_ + "/tmp";
    ASSERT_EQ(mkdir(temp_.c_str(), 0755), 0);
  }
  // Run options with this test's temporary folder.
  RunOptions with_temp(RunOptions options = {}) {
    options.temp_dir = temp_;
    return options;
  }
  RunResult run(const std::string& exe, const std::vector<std::string>& args, RunOptions options = {}) {
    return run_windows(exe, args, with_temp(options));
  }
  RunResult run_line(const std::string& line, RunOptions options = {}) {
    return run_windows_line(line, with_temp(options));
  }
  void TearDown() override { remove_tree(dir_); }

  std::string onefile(const std::vector<PayloadEntry>& entries, const std::string& name = "app.exe") {
    std::string exe = dir_ + "/" + name;
    EXPECT_TRUE(make_onefile(entries, exe));
    return exe;
  }
  std::string module_onefile(std::vector<PayloadEntry> more = {}, const std::string& name = "app.exe",
                             bool console = false) {
    std::vector<PayloadEntry> entries = {{u"app.dll", file_bytes(test_module_dll())}};
    entries.insert(entries.end(), more.begin(), more.end());
    std::string exe = dir_ + "/" + name;
    EXPECT_TRUE(make_onefile(entries, exe, console));
    return exe;
  }
  // Extraction folders left in this test's temporary folder.
  std::vector<std::string> new_extraction_dirs() { return list_dir(temp_, "onefile_"); }

  std::string dir_;
  std::string temp_;
};

TEST_F(LauncherTest, TypicalRunPassesArgumentsEnvironmentAndExitCode) {
  std::string exe = module_onefile();
  RunOptions options;
  options.directory = dir_;
  options.raw_command_line = true;
  RunResult r = run_line("app.exe args env exit 300", options);
  ASSERT_FALSE(r.timed_out);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 300u) << r.out << r.err;
  auto v = values(r.out);
  EXPECT_EQ(args_seen(r.out), (std::vector<std::string>{windows_path(exe), "args", "env", "exit", "300"}));
  EXPECT_EQ(v["TARVEX_ORIGINAL_ARGV0"], "app.exe");
  // The marker that the parent sets for its child is gone before the module runs.
  EXPECT_NE(r.out.find("TARVEX_ONEFILE_CHILD unset"), std::string::npos) << r.out;
  EXPECT_TRUE(strcasecmp(v["TARVEX_ONEFILE_DIRECTORY"].c_str(), windows_path(dir_).c_str()) == 0)
      << v["TARVEX_ONEFILE_DIRECTORY"];
  const std::string& parent = v["TARVEX_ONEFILE_PARENT"];
  const std::string& start = v["TARVEX_ONEFILE_START"];
  ASSERT_FALSE(parent.empty());
  EXPECT_EQ(parent.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(start.size(), 18u) << start;
  EXPECT_EQ(start.find_first_not_of("0123456789"), std::string::npos);
  std::string expected_dir = "onefile_" + parent + "_" + start;
  std::string module_dir = v["MODULE_DIR"];
  EXPECT_EQ(module_dir.substr(module_dir.rfind('\\') + 1), expected_dir);
  EXPECT_TRUE(new_extraction_dirs().empty()) << "extraction folder left behind";
}

TEST_F(LauncherTest, ExitCodesArriveInFull) {
  std::string exe = module_onefile();
  struct Case {
    std::vector<std::string> args;
    uint32_t code;
  } cases[] = {{{}, 0},
               {{"exit", "1"}, 1},
               {{"exit", "-1"}, 0xFFFFFFFFu},
               {{"exit", "0xC0000005"}, 0xC0000005u},
               {{"exit", "256"}, 256},
               {{"crash"}, 0xC0000005u}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    RunResult r = run(exe, c.args);
    ASSERT_TRUE(r.reported) << r.err;
    EXPECT_EQ(r.exit_code, c.code) << r.out << r.err;
  }
  EXPECT_TRUE(new_extraction_dirs().empty());
}

TEST_F(LauncherTest, ArgumentsReachTheModuleExactly) {
  std::string exe = module_onefile();
  std::vector<std::vector<std::string>> cases = {{"x y z"},
                                                 {"a\"b"},
                                                 {"a\\\"b"},
                                                 {"a b\\"},
                                                 {"C:\\dir\\"},
                                                 {"", "between", ""},
                                                 {"tab\there", "new\nline"},
                                                 {"\\\\server\\share\\", "\\\"", "\"\""},
                                                 {"caf\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac", "\xf0\x9f\x98\x80"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    std::vector<std::string> run_args = {"args"};
    run_args.insert(run_args.end(), args.begin(), args.end());
    RunResult r = run(exe, run_args);
    ASSERT_TRUE(r.reported) << r.err;
    std::vector<std::string> seen = args_seen(r.out);
    ASSERT_EQ(seen.size(), run_args.size() + 1) << r.out;
    EXPECT_EQ(std::vector<std::string>(seen.begin() + 1, seen.end()), run_args);
  }
}

TEST_F(LauncherTest, RandomArgumentsRoundTrip) {
  std::string exe = module_onefile();
  std::mt19937 rng(20261207);
  // No wildcards here: the child's runtime would expand them against its folder.
  const std::vector<std::string> pieces = {"a", "Z", " ", "\t",       "\"",           "\\",  "\\\\", "\\\"", "%",
                                           "^", "&", "|", "\xc3\xa9", "\xe2\x82\xac", "x y", "''",   "\\ \\"};
  for (int round = 0; round < 6; ++round) {
    std::vector<std::string> args = {"args"};
    for (int n = 0; n < 12; ++n) {
      std::string a;
      for (int k = rng() % 6; k > 0; --k) a += pieces[rng() % pieces.size()];
      args.push_back(a);
    }
    SCOPED_TRACE(testing::PrintToString(args));
    RunResult r = run(exe, args);
    ASSERT_TRUE(r.reported) << r.err;
    std::vector<std::string> seen = args_seen(r.out);
    ASSERT_EQ(seen.size(), args.size() + 1) << r.out;
    EXPECT_EQ(std::vector<std::string>(seen.begin() + 1, seen.end()), args);
  }
}

TEST_F(LauncherTest, WildcardsArePassedAsTypedAndExpandedByTheChild) {
  std::string exe = module_onefile();
  write_file(dir_ + "/one.txt", "1");
  write_file(dir_ + "/two.txt", "2");
  RunOptions options;
  options.directory = dir_;
  options.raw_command_line = true;
  RunResult r = run_line("app.exe args *.txt", options);
  ASSERT_TRUE(r.reported) << r.err;
  std::vector<std::string> seen = args_seen(r.out);
  std::set<std::string> rest(seen.begin() + 2, seen.end());
  EXPECT_EQ(rest, (std::set<std::string>{"one.txt", "two.txt"})) << r.out;
}

struct ParentCase {
  const char* name;
  const char* parent;  // null: unset
  const char* start;   // inherited TARVEX_ONEFILE_START, null: unset
  bool start_kept;     // the child's extraction folder ends in the inherited start value
  // Non-null: the application starts its own executable again, with
  // TARVEX_ONEFILE_PARENT naming its live parent but written after this text.
  const char* before_live_parent = nullptr;
};

class ParentVariableTest : public LauncherTest, public ::testing::WithParamInterface<ParentCase> {};

TEST_P(ParentVariableTest, RoleFollowsTheVariable) {
  const ParentCase& c = GetParam();
  std::string exe = module_onefile();
  RunOptions options;
  if (c.parent) options.env.emplace_back("TARVEX_ONEFILE_PARENT", c.parent);
  else options.unset_env.push_back("TARVEX_ONEFILE_PARENT");
  if (c.start) options.env.emplace_back("TARVEX_ONEFILE_START", c.start);
  else options.unset_env.push_back("TARVEX_ONEFILE_START");
  if (c.before_live_parent) {
    // The conversion takes the value as the live parent's id, so the relaunched
    // instance takes the child role; its {PID}, digits only, then ends it.
    RunResult r = run(exe, {"parent_prefix", c.before_live_parent, "relaunch", "env"}, options);
    ASSERT_TRUE(r.reported) << r.err;
    EXPECT_EQ(r.exit_code, 0u) << r.out << r.err;
    EXPECT_NE(r.out.find("Error, TARVEX_ONEFILE_PARENT holds a character that is not a decimal digit.\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("relaunch exit=2"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("MODULE_DIR="), std::string::npos) << r.out;
    EXPECT_TRUE(new_extraction_dirs().empty());
    return;
  }
  RunResult r = run(exe, {"env", "exit", "7"}, options);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 7u) << r.out << r.err;  // the parent extracted and started a child
  auto v = values(r.out);
  std::string start = v["TARVEX_ONEFILE_START"];
  if (c.start_kept) {
    EXPECT_EQ(start, c.start);
  } else {
    EXPECT_EQ(start.find_first_not_of("0123456789"), std::string::npos) << start;
    EXPECT_NE(start, c.start ? c.start : "");
  }
  EXPECT_NE(v["TARVEX_ONEFILE_PARENT"], c.parent ? c.parent : "");
  EXPECT_TRUE(new_extraction_dirs().empty());
}

INSTANTIATE_TEST_SUITE_P(Values, ParentVariableTest,
                         ::testing::Values(ParentCase{"absent", nullptr, "hello", true},
                                           ParentCase{"empty", "", "hello", true},
                                           ParentCase{"letters", "abc", "hello", false},
                                           ParentCase{"digits_letter", "12a", "hello", false},
                                           ParentCase{"white_space", "   ", "hello", false},
                                           ParentCase{"beyond_32_bits", "4294967300", "hello", false},
                                           ParentCase{"dead_process", "4194300", "hello", false},
                                           ParentCase{"spaces_before_live_parent", nullptr, nullptr, false, "  "},
                                           ParentCase{"plus_before_live_parent", nullptr, nullptr, false, "+"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherTest, SameExecutableStartedAgainUsesTheExistingFolder) {
  std::string exe = module_onefile({{u"data\\x.txt", text("x")}});
  RunResult r = run(exe, {"env", "relaunch", "env", "list", "exit", "5"});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_NE(r.out.find("relaunch exit=5"), std::string::npos) << r.out;
  // Both instances report the same module folder: the second one extracted nothing.
  const std::vector<std::string> dirs = module_dirs(r.out);
  ASSERT_EQ(dirs.size(), 2u) << r.out;
  EXPECT_EQ(dirs[0], dirs[1]);
  EXPECT_NE(r.out.find("file data\\x.txt 1 "), std::string::npos) << r.out;
  EXPECT_TRUE(new_extraction_dirs().empty());
}

TEST_F(LauncherTest, LiveProcessOfAnotherProgramMeansParentRole) {
  std::string a = module_onefile({}, "a.exe");
  std::string b = module_onefile({}, "b.exe");
  // a's module starts b with TARVEX_ONEFILE_PARENT naming a's live parent.
  RunResult r = run(a, {"env", "spawn", windows_path(b), "env"});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_NE(r.out.find("spawn exit=0"), std::string::npos) << r.out;
  std::istringstream in(r.out);
  std::vector<std::string> dirs, parents;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("MODULE_DIR=", 0) == 0) dirs.push_back(line);
    if (line.rfind("TARVEX_ONEFILE_PARENT=", 0) == 0) parents.push_back(line);
  }
  ASSERT_EQ(dirs.size(), 2u) << r.out;
  EXPECT_NE(dirs[0], dirs[1]);
  ASSERT_EQ(parents.size(), 2u);
  EXPECT_NE(parents[0], parents[1]);
  EXPECT_TRUE(new_extraction_dirs().empty());
}

TEST_F(LauncherTest, EntriesAreWrittenAsStored) {
  Bytes big(32769);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  std::string exe = module_onefile({{u"empty.bin", {}},
                                    {u"exact.bin", Bytes(big.begin(), big.begin() + 32768)},
                                    {u"over.bin", big},
                                    {u"twice.txt", text("first version, longer")},
                                    {u"twice.txt", text("second")},
                                    {u"a\\b\\c\\deep.txt", text("deep")},
                                    {u"caf\u00e9\\\u65e5.txt", text("wide")}});
  RunResult r = run(exe, {"list"});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 0u) << r.err;
  auto has = [&](const std::string& line) { return r.out.find("file " + line) != std::string::npos; };
  EXPECT_TRUE(has("empty.bin 0 cbf29ce484222325")) << r.out;
  EXPECT_TRUE(has("exact.bin 32768 ")) << r.out;
  EXPECT_TRUE(has("over.bin 32769 ")) << r.out;
  EXPECT_TRUE(has("twice.txt 6 ")) << r.out;
  EXPECT_TRUE(has("a\\b\\c\\deep.txt 4 ")) << r.out;
  EXPECT_TRUE(has("caf\xc3\xa9\\\xe6\x97\xa5.txt 4 ")) << r.out;
  EXPECT_TRUE(has("app.dll ")) << r.out;
  EXPECT_TRUE(new_extraction_dirs().empty());
}

TEST_F(LauncherTest, OnlyTheEndMarkerStartsNoEndlessChain) {
  std::string exe = onefile({});
  RunResult r = run(exe, {}, {});
  ASSERT_FALSE(r.timed_out);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 2u);
  EXPECT_EQ(r.out, "Error, the payload holds no module to start.\r\n");
  EXPECT_TRUE(new_extraction_dirs().empty());
}

// Folder names of users and programs: spaces, Cyrillic and Han, for the executable's
// folder and for the temporary folder.
struct FolderNames {
  const char* name;
  const char* exe_folder;   // below the test's folder; "" for the folder itself
  const char* temp_folder;  // below the test's folder
};

class FolderNameTest : public LauncherTest, public ::testing::WithParamInterface<FolderNames> {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    exe_dir_ = dir_ + (*GetParam().exe_folder ? "/" + std::string(GetParam().exe_folder) : "");
    temp_ = dir_ + "/" + GetParam().temp_folder;
    std::error_code ec;
    std::filesystem::create_directories(exe_dir_, ec);
    std::filesystem::create_directories(temp_, ec);
  }
  std::string exe_dir_;
};

TEST_P(FolderNameTest, NormalRunWorksAndRemovesItsFolder) {
  std::string exe = exe_dir_ + "/app.exe";
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}, {u"data\\x.txt", text("x")}}, exe));
  RunResult r = run(exe, {"env", "list", "exit", "4"});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 4u) << r.out << r.err;
  EXPECT_NE(r.out.find("file data\\x.txt 1 "), std::string::npos) << r.out;
  EXPECT_EQ(values(r.out)["MODULE_DIR"].rfind(windows_path(temp_) + "\\onefile_", 0), 0u) << r.out;
  EXPECT_TRUE(new_extraction_dirs().empty()) << "extraction folder left behind";
}

// Someone else made the folder first and holds a file in it: the parent refuses the
// folder, names it whole whatever its characters, writes nothing into it and removes
// nothing from it.
TEST_P(FolderNameTest, ExistingExtractionFolderIsRefusedNamedWholeAndLeftAlone) {
  std::string exe = exe_dir_ + "/app.exe";
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}, {u"first.txt", text("1")}}, exe));
  RunOptions options;
  options.env = {{"TARVEX_RUN_HOLD_FILE", "held.txt"}, {"TARVEX_ONEFILE_START", "4242"}};
  options.unset_env = {"TARVEX_ONEFILE_PARENT"};
  RunResult r = run(exe, {}, options);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 2u);
  EXPECT_EQ(r.out, "");
  // The whole path, as UTF-8, whatever its characters.
  EXPECT_EQ(r.err.rfind("Error, the extraction folder '" + windows_path(temp_) + "\\onefile_", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("_4242' exists already.\r\n"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  std::vector<std::string> left = new_extraction_dirs();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(list_dir(temp_ + "/" + left[0]), std::vector<std::string>{"held.txt"});
  remove_tree(temp_ + "/" + left[0]);
}

// The folder's security as the module, running in it, reads it back. Wine shows a
// DACL derived from the folder's Unix mode: the user's full access and nothing for
// anyone else, where a folder made with the default security also lets everyone read.
TEST_F(LauncherTest, ExtractionFolderIsTheUsersAlone) {
  std::string exe = module_onefile();
  RunResult r = run(exe, {"dacl"});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 0u) << r.err;
  auto v = values(r.out);
  ASSERT_FALSE(v["USER_SID"].empty()) << r.out;
  const std::string& dacl = v["FOLDER_DACL"];
  EXPECT_NE(dacl.find("(A;OICI;FA;;;" + v["USER_SID"] + ")"), std::string::npos) << dacl;
  for (const char* other : {";WD)", ";BU)", ";AU)", ";BG)"}) EXPECT_EQ(dacl.find(other), std::string::npos) << dacl;
}

INSTANTIATE_TEST_SUITE_P(
    Names, FolderNameTest,
    ::testing::Values(FolderNames{"plain", "", "tmp"}, FolderNames{"spaces", "a b", "c d"},
                      FolderNames{"cyrillic_and_han",
                                  "\xd0\x9f\xd1\x80\xd0\xbe\xd0\xb3\xd0\xb0 "
                                  "\xe6\xbc\xa2\xe5\xad\x97",
                                  "\xd0\x9f\xd1\x80\xd0\xbe\xd0\xb3\xd0\xb0 \xe6\xbc\xa2\xe5\xad\x97/a b"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
  const char* name;
  std::function<Bytes()> resource;  // null: no payload resource at all
  uint32_t code;
  const char* out;
  const char* err_prefix;
  bool leaves_folder = false;  // a fatal stop during extraction keeps what it wrote
  // >= 0: the run's TARVEX_ONEFILE_PARENT names a live instance of the same file, in
  // as many digits as fill the extraction directory up to its last unit, plus this.
  int parent_pid_beyond = -1;
};

class LauncherFailureTest : public LauncherTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LauncherFailureTest, ReportsAndLeavesNothing) {
  const FailureCase& c = GetParam();
  std::string exe = dir_ + "/app.exe";
  if (c.resource) {
    ASSERT_TRUE(make_onefile_from_resource(c.resource(), exe));
  } else {
    ASSERT_TRUE(write_file(exe, read_file(launcher_exe())));
  }
  RunOptions options;
  if (c.parent_pid_beyond >= 0) {
    // {TEMP}, "\onefile_" and {PID} end at the directory's 4095th unit; "_" would follow.
    const size_t digits = 4095 - windows_path(temp_).size() - strlen("\\onefile_") + c.parent_pid_beyond;
    options.env.emplace_back("TARVEX_RUN_PARENT_DIGITS", std::to_string(digits));
  }
  RunResult r = run(exe, {}, options);
  ASSERT_FALSE(r.timed_out);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, c.code);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err.rfind(c.err_prefix, 0), 0u) << r.err;
  if (c.code == 3) {
    EXPECT_EQ(r.err, c.err_prefix) << "the line alone";
  }
  // A folder left stays with its token, for the next start's sweep.
  std::vector<std::string> left = new_extraction_dirs();
  EXPECT_EQ(left.size(), c.leaves_folder ? 2u : 0u);
}

Bytes payload_of(std::vector<PayloadEntry> entries) { return build_payload(entries); }

INSTANTIATE_TEST_SUITE_P(
    Cases, LauncherFailureTest,
    ::testing::Values(FailureCase{"no_payload", nullptr, 2, "Error, couldn't find attached data header.\r\n", ""},
                      // The directory is computed before the resource is looked at: its failure is
                      // the one reported, and it ends the way a failed expansion ends.
                      FailureCase{"expansion_fails_before_missing_payload", nullptr, 3, "",
                                  "Error, couldn't runtime expand spec '{TEMP}\\onefile_{PID}_{TIME}'.\r\n", false, 0},
                      FailureCase{"parent_pid_one_unit_too_long", nullptr, 2,
                                  "Error, an environment value does not fit its buffer.\r\n", "", false, 1},
                      FailureCase{"signature_mismatch",
                                  [] {
                                    Bytes b = payload_of({{u"app.dll", file_bytes(test_module_dll())}});
                                    b[2] = 'X';
                                    return b;
                                  },
                                  2, "Error, couldn't find attached data header.\r\n", ""},
                      FailureCase{"too_short",
                                  [] {
                                    return Bytes{'W', 'Q'};
                                  },
                                  2, "Error, couldn't find attached data header.\r\n", ""},
                      FailureCase{"not_a_dll",
                                  [] {
                                    return payload_of({{u"app.dll", text("plain text, not a module")}});
                                  },
                                  2, "", "Error, load DLL. ([Error "},
                      FailureCase{"no_run_code",
                                  [] {
                                    return payload_of({{u"app.dll", file_bytes(no_entry_module_dll())}});
                                  },
                                  2, "Error, DLL entry point not found.\r\n", ""},
                      FailureCase{"truncated",
                                  [] {
                                    Bytes b = payload_of({{u"app.dll", file_bytes(test_module_dll())}});
                                    b.resize(b.size() / 2);
                                    return b;
                                  },
                                  2, "Error, couldn't decode attached data.\r\n", "", true}),
    [](const auto& info) { return std::string(info.param.name); });

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Small files, 300 bytes to 2 KB, as a script language's library brings them.
std::vector<PayloadEntry> small_files(int count) {
  std::vector<PayloadEntry> entries;
  std::mt19937 random(static_cast<unsigned>(count));
  for (int i = 0; i < count; ++i) {
    char name[32];
    snprintf(name, sizeof name, "data\\d%02d\\f%05d.txt", i % 40, i);
    entries.push_back({std::u16string(name, name + strlen(name)), Bytes(300 + random() % 1700, 'a' + i % 26)});
  }
  return entries;
}

struct EventCase {
  const char* name;
  int files;                     // small files beside the module
  const char* module_args;       // {READY}: a marker file outside the extraction folder
  const char* triggers;          // for send_ctrl_c; {EXTRACTING}: a file the extraction writes early
  bool module_runs;              // the marker is there afterwards
  bool console_program = false;  // the subsystem that `tarvex pack --console` gives
  bool on_console = false;       // the module writes to the console's screen rather than to a pipe
  // Cache mode, its folder below the test's folder ({PARTIAL}: a first run's sibling);
  // with `warm`, a complete run has filled the folder before.
  bool cache = false;
  bool warm = false;
};

class ConsoleEventTest : public LauncherTest, public ::testing::WithParamInterface<EventCase> {};

// Ctrl+C reaches the parent and the child (one console, one process group). Whatever
// the run was doing, it ends with STATUS_CONTROL_C_EXIT and leaves no file behind.
TEST_P(ConsoleEventTest, EndsTheRunAndLeavesNothing) {
  const EventCase& c = GetParam();
  std::string exe = dir_ + "/app.exe";
  std::vector<PayloadEntry> entries = small_files(c.files);
  entries.insert(entries.begin(), {u"app.dll", file_bytes(test_module_dll())});
  const std::string cache = dir_ + "/cache";
  std::string key;
  if (c.cache) key = make_cached_onefile(entries, windows_path(cache), exe, c.console_program);
  else ASSERT_TRUE(make_onefile(entries, exe, c.console_program));
  if (c.warm) {
    ASSERT_FALSE(key.empty());
    ASSERT_EQ(run(exe, {}).exit_code, 0u);
  }
  const std::string ready = windows_path(dir_ + "/ready");
  const std::string extracting = windows_path(temp_) + "\\onefile_{PID}_4242\\data\\d20\\f00100.txt";
  const std::string partial = windows_path(cache) + "\\" + key + ".partial-{PID}\\data\\d20\\f00100.txt";
  const std::string args = replace_all(c.module_args, "{READY}", ready);
  const std::string triggers = replace_all(
      replace_all(replace_all(c.triggers, "{READY}", ready), "{EXTRACTING}", extracting), "{PARTIAL}", partial);
  RunOptions options;
  options.env = {{"TARVEX_ONEFILE_START", "4242"}};
  options.unset_env = {"TARVEX_ONEFILE_PARENT"};
  options.timeout_seconds = 180;
  const std::string sender = windows_bin_dir() + "/tests/e2e/send_ctrl_c.exe";
  std::vector<std::string> sender_args = {triggers, quote_argument(windows_path(exe)) + " " + args};
  if (c.on_console) sender_args.push_back("console");
  auto started = std::chrono::steady_clock::now();
  RunResult r = run(sender, sender_args, options);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 0xC000013Au) << r.out << r.err;
  // The module sleeps 90 s after it is ready: an earlier end is the event's.
  EXPECT_LT(seconds, 80.0) << "the event did not end the run";
  std::vector<std::string> left = new_extraction_dirs();
  EXPECT_TRUE(left.empty()) << left.size() << " folder(s) left, the first with "
                            << (left.empty() ? 0 : count_files(temp_ + "/" + left[0])) << " files";
  struct stat st;
  EXPECT_EQ(stat((dir_ + "/ready").c_str(), &st) == 0, c.module_runs);
  if (c.cache) {
    // The cache is never removed: a run that got as far as the module keeps it whole;
    // an extraction the event cut short leaves neither it nor its sibling.
    const std::vector<std::string> kept = {key};
    EXPECT_EQ(list_dir(cache), c.module_runs ? kept : std::vector<std::string>{});
    if (c.module_runs) {
      EXPECT_EQ(count_files(cache + "/" + key), static_cast<size_t>(c.files + 1));
    }
  }
  if (c.on_console) {  // what the module wrote before the event is on the console's screen
    const std::string shown = "| MODULE_DIR=" + windows_path(temp_) + "\\onefile_";
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Events, ConsoleEventTest,
    ::testing::Values(
        EventCase{"ModuleEndsOnTheEvent", 1, "touch {READY} sleep 90000 exit 0", "@{READY}", true},
        // The parent's handler gives the child 5 s, terminates it and removes 4,000
        // files while the main thread wakes from the child's end.
        EventCase{"ModuleIgnoresTheEvent", 4000, "ignore-ctrl-c touch {READY} sleep 90000", "@{READY}", true},
        EventCase{"TwoEventsModuleIgnoresThem", 4000, "ignore-ctrl-c touch {READY} sleep 90000", "@{READY},300", true},
        // No child starts, and nothing is written after the event.
        EventCase{"EventDuringExtraction", 4000, "touch {READY}", "@{EXTRACTING}", false},
        // A console program whose module writes to the console it shares with the parent.
        EventCase{"ConsoleProgramOnItsConsole", 1, "env touch {READY} sleep 90000 exit 0", "@{READY}", true, true,
                  true},
        // The cached run is the process that the event reaches: it ends, the cache stays.
        EventCase{"CachedRunEndsAndKeepsTheCache", 300, "touch {READY} sleep 90000 exit 0", "@{READY}", true, false,
                  false, true, true},
        EventCase{"EventDuringAFirstRunRemovesItsPartialFolder", 4000, "touch {READY}", "@{PARTIAL}", false, false,
                  false, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RemovalCase {
  const char* name;
  std::vector<PayloadEntry> entries;  // beside the module
  std::vector<std::string> module_args;
  bool plant_links;  // links to a folder outside are put into the folder while the module runs
};

class RemovalTest : public LauncherTest, public ::testing::WithParamInterface<RemovalCase> {};

// The removal after a normal run: what the folder holds by then goes, and nothing
// outside it is touched, through a link or otherwise. (Wine's SHFileOperationW, given
// a tree with paths beyond 260 characters, emptied the current directory instead.)
TEST_P(RemovalTest, LeavesNothingAndTouchesNothingOutside) {
  const RemovalCase& c = GetParam();
  std::string exe = module_onefile(c.entries);
  RunOptions options;
  options.directory = dir_ + "/cwd";
  ASSERT_EQ(mkdir(options.directory.c_str(), 0755), 0);
  ASSERT_TRUE(write_file(options.directory + "/sentinel.txt", "here"));
  const std::string outside = dir_ + "/outside";
  ASSERT_EQ(mkdir(outside.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((outside + "/sub").c_str(), 0755), 0);
  ASSERT_TRUE(write_file(outside + "/keep.txt", "keep"));
  ASSERT_TRUE(write_file(outside + "/sub/deep.txt", "deep"));
  ASSERT_EQ(mkdir((outside + "/empty").c_str(), 0755), 0);

  std::vector<std::string> args = c.module_args;
  std::thread planter;
  bool planted = false;
  if (c.plant_links) {
    args = {"touch", windows_path(dir_ + "/ready"), "waitfor", windows_path(dir_ + "/go")};
    planter = std::thread([&] {
      struct stat st;
      for (int i = 0; i < 3000 && stat((dir_ + "/ready").c_str(), &st) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::vector<std::string> dirs;
      for (const std::string& name : new_extraction_dirs())  // the folder, not its token file
        if (struct stat st; stat((temp_ + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) dirs.push_back(name);
      if (dirs.size() == 1) {
        planted = true;
        const std::string folder = temp_ + "/" + dirs[0];
        symlink((outside + "/keep.txt").c_str(), (folder + "/file_link").c_str());
        symlink(outside.c_str(), (folder + "/folder_link").c_str());
        symlink((outside + "/empty").c_str(), (folder + "/empty_folder_link").c_str());
        symlink((outside + "/sub/deep.txt").c_str(), (folder + "/data/deep_link").c_str());
      }
      write_file(dir_ + "/go", "");
    });
  }
  RunResult r = run(exe, args, options);
  if (planter.joinable()) planter.join();
  EXPECT_EQ(planted, c.plant_links) << "no links were planted";
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 0u) << r.out << r.err;

  EXPECT_EQ(read_file(options.directory + "/sentinel.txt"), "here");
  EXPECT_EQ(read_file(outside + "/keep.txt"), "keep");
  EXPECT_EQ(read_file(outside + "/sub/deep.txt"), "deep");
  struct stat st;
  EXPECT_EQ(stat((outside + "/empty").c_str(), &st), 0);
  // Wine cannot remove a Unix link without reaching its target: the links, and the
  // folders that hold them, may stay. Nothing else does.
  for (const std::string& left : new_extraction_dirs()) {
    EXPECT_TRUE(c.plant_links) << left << " was left";
    for (const std::string& entry : entries_below(temp_ + "/" + left)) {
      struct stat kept;
      ASSERT_EQ(lstat(entry.c_str(), &kept), 0);
      EXPECT_TRUE(S_ISDIR(kept.st_mode) || S_ISLNK(kept.st_mode)) << entry << " was left";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Trees, RemovalTest,
    ::testing::Values(RemovalCase{"PathsLongerThan300Characters",
                                  {{u"data\\" + std::u16string(110, u'a') + u"\\" + std::u16string(110, u'b') + u"\\" +
                                        std::u16string(110, u'c') + u"\\file.txt",
                                    text("deep")}},
                                  {},
                                  false},
                      RemovalCase{"ReadOnlyFile", {{u"data\\ro.txt", text("ro")}}, {"readonly", "data\\ro.txt"}, false},
                      RemovalCase{"LinksPointingOutside", {{u"data\\x.txt", text("x")}}, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Cache mode: the folder below the test's own folder, keyed by the payload.
class CacheTest : public LauncherTest {
 protected:
  std::string cached_onefile(const std::vector<PayloadEntry>& more, const std::string& name = "app.exe") {
    std::vector<PayloadEntry> entries = {{u"app.dll", file_bytes(test_module_dll())}};
    entries.insert(entries.end(), more.begin(), more.end());
    std::string exe = dir_ + "/" + name;
    key_ = make_cached_onefile(entries, windows_path(cache_root()), exe);
    EXPECT_FALSE(key_.empty());
    return exe;
  }
  std::string cache_root() { return dir_ + "/cache"; }
  std::string folder() { return cache_root() + "/" + key_; }
  std::string key_;
};

// The module's "file ..." lines, but for the named file.
std::vector<std::string> files_listed(const std::string& out, const std::string& except = "") {
  std::vector<std::string> files;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("file ", 0) == 0 && (except.empty() || line.rfind("file " + except + " ", 0) != 0))
      files.push_back(line);
  return files;
}

int64_t mtime_ns(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

struct CacheCase {
  const char* name;
  std::function<void(const std::string& folder)> before_first;  // null: nothing
  std::function<void(const std::string& folder)> between;       // after the first run; null: nothing
  bool second_cached;  // the second run runs from the cache folder, else from a temporary one
  bool needs_root = false;
  bool live_partial = false;  // the first run's runner has a partial folder of its own meanwhile
};

class CacheScenarioTest : public CacheTest, public ::testing::WithParamInterface<CacheCase> {};

TEST_P(CacheScenarioTest, SecondRunSeesTheSameApplication) {
  const CacheCase& c = GetParam();
  if (c.needs_root && geteuid() != 0) GTEST_SKIP() << "giving the folder to another user takes root";
  std::string exe = cached_onefile({{u"data\\x.txt", text("x")}, {u"data\\big.bin", Bytes(70000, 'b')}});
  if (c.before_first) c.before_first(folder());
  RunOptions first_options;
  if (c.live_partial) {
    ASSERT_TRUE(std::filesystem::create_directories(cache_root()));
    first_options.env = {{"TARVEX_RUN_PARTIAL", windows_path(folder())}};
  }
  RunResult first = run(exe, {"env", "list", "exit", "4"}, first_options);
  ASSERT_TRUE(first.reported) << first.err;
  EXPECT_EQ(first.exit_code, 4u) << first.out << first.err;
  auto v = values(first.out);
  EXPECT_EQ(v["MODULE_DIR"], windows_path(folder()));
  EXPECT_TRUE(strcasecmp(v["TARVEX_ONEFILE_DIRECTORY"].c_str(), windows_path(dir_).c_str()) == 0) << first.out;
  EXPECT_FALSE(v["TARVEX_ORIGINAL_ARGV0"].empty()) << first.out;
  // One process: no parent to name, and no marker.
  EXPECT_NE(first.out.find("TARVEX_ONEFILE_PARENT unset"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("file data\\big.bin 70000 "), std::string::npos) << first.out;
  if (c.live_partial) {  // its process ran all along, so it stays
    const std::vector<std::string> partials = list_dir(cache_root(), key_ + ".partial-");
    ASSERT_EQ(partials.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(cache_root() + "/" + partials[0] + "/app.dll"));
    remove_tree(cache_root() + "/" + partials[0]);
  }
  EXPECT_EQ(list_dir(cache_root()), std::vector<std::string>{key_}) << "a partial folder was left";
  const int64_t module_written = mtime_ns(folder() + "/app.dll");
  ASSERT_TRUE(write_file(folder() + "/marker", "m"));

  if (c.between) c.between(folder());
  RunResult second = run(exe, {"env", "list"});
  if (c.needs_root) chown(folder().c_str(), 0, 0);
  ASSERT_TRUE(second.reported) << second.err;
  EXPECT_EQ(second.exit_code, 0u) << second.out << second.err;
  EXPECT_EQ(files_listed(second.out, "marker"), files_listed(first.out));
  const std::string module_dir = values(second.out)["MODULE_DIR"];
  if (c.second_cached) {
    EXPECT_EQ(module_dir, windows_path(folder()));
    EXPECT_EQ(read_file(folder() + "/marker"), "m");
    EXPECT_EQ(mtime_ns(folder() + "/app.dll"), module_written) << "the module was written again";
  } else {
    EXPECT_EQ(module_dir.rfind(windows_path(temp_) + "\\onefile_", 0), 0u) << module_dir;
  }
  EXPECT_TRUE(new_extraction_dirs().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CacheScenarioTest,
    ::testing::Values(CacheCase{"Reuse", nullptr, nullptr, true},
                      CacheCase{"RepairsADeletedAndATruncatedFile", nullptr,
                                [](const std::string& folder) {
                                  ASSERT_EQ(remove((folder + "/data/x.txt").c_str()), 0);
                                  ASSERT_EQ(truncate((folder + "/data/big.bin").c_str(), 10), 0);
                                },
                                true},
                      CacheCase{"RepairsADeletedFolder", nullptr,
                                [](const std::string& folder) { remove_tree(folder + "/data"); }, true},
                      // A first run that was killed left its sibling; its process is gone.
                      CacheCase{"InterruptedFirstRunIsNeitherUsedNorLeft",
                                [](const std::string& folder) {
                                  ASSERT_TRUE(std::filesystem::create_directories(folder + ".partial-4194300/data"));
                                  ASSERT_TRUE(write_file(folder + ".partial-4194300/app.dll", "half"));
                                },
                                nullptr, true},
                      CacheCase{"PartialFolderOfALiveRunIsLeftToIt", nullptr, nullptr, true, false, true},
                      CacheCase{"FolderOfAnotherUserIsNotTrusted", nullptr,
                                [](const std::string& folder) { ASSERT_EQ(chown(folder.c_str(), 4321, 4321), 0); },
                                false, true},
                      // Another account could swap a folder on the way between the check and the load.
                      CacheCase{"AncestorOfAnotherUserIsNotTrusted", nullptr,
                                [](const std::string& folder) {
                                  ASSERT_EQ(chown(folder.substr(0, folder.rfind('/')).c_str(), 4321, 4321), 0);
                                },
                                false, true},
                      CacheCase{"FileInPlaceOfTheFolderIsNotUsed", nullptr,
                                [](const std::string& folder) {
                                  remove_tree(folder);
                                  ASSERT_TRUE(write_file(folder, "not a folder"));
                                },
                                false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CacheTest, RebuiltExecutableRunsItsOwnFiles) {
  std::string exe = cached_onefile({{u"v.txt", text("one")}});
  RunResult r = run(exe, {"list"});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_NE(r.out.find("file v.txt 3 "), std::string::npos) << r.out;
  const std::string old_key = key_;
  cached_onefile({{u"v.txt", text("four")}});
  ASSERT_NE(key_, old_key);
  r = run(exe, {"env", "list"});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_NE(r.out.find("file v.txt 4 "), std::string::npos) << r.out;
  EXPECT_EQ(values(r.out)["MODULE_DIR"], windows_path(folder()));
  std::vector<std::string> both = {old_key, key_};
  std::vector<std::string> listed = list_dir(cache_root());
  std::sort(both.begin(), both.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, both);
}

// Two first runs at once: each extracts into its own sibling, one rename wins and the
// other run uses the winner's folder.
TEST_F(CacheTest, TwoFirstRunsAtOnceBothRunFromOneFolder) {
  std::string exe = cached_onefile(small_files(600));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    remove_tree(cache_root());
    RunResult results[2];
    std::thread other([&] { results[1] = run(exe, {"env", "exit", "6"}); });
    results[0] = run(exe, {"env", "exit", "6"});
    other.join();
    for (const RunResult& r : results) {
      ASSERT_TRUE(r.reported) << r.err;
      EXPECT_EQ(r.exit_code, 6u) << r.out << r.err;
      EXPECT_EQ(values(r.out)["MODULE_DIR"], windows_path(folder()));
    }
    EXPECT_EQ(list_dir(cache_root()), std::vector<std::string>{key_});
    EXPECT_EQ(count_files(folder()), 601u);
  }
}

// {PROGRAM_DIR} is where the executable lies, whatever the current folder and however
// it was named; a template that still comes out relative is not used.
TEST_F(CacheTest, TemplateFollowsTheExecutableNotTheCurrentFolder) {
  const std::string elsewhere = dir_ + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  const struct {
    const char* folder_template;
    const char* cached_below;  // relative to the test's folder; null: a temporary run
  } cases[] = {{"{PROGRAM_DIR}\\c", "c"}, {"{PRODUCT}\\c", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder_template);
    const std::string exe = dir_ + "/app.exe";
    const std::string key = make_cached_onefile({{u"app.dll", file_bytes(test_module_dll())}}, c.folder_template, exe);
    ASSERT_FALSE(key.empty());
    RunOptions options;
    options.directory = elsewhere;
    options.raw_command_line = true;
    RunResult r = run_line("..\\app.exe env", options);
    ASSERT_TRUE(r.reported) << r.err;
    EXPECT_EQ(r.exit_code, 0u) << r.out << r.err;
    const std::string module_dir = values(r.out)["MODULE_DIR"];
    if (c.cached_below) EXPECT_EQ(module_dir, windows_path(dir_ + "/" + c.cached_below + "/" + key));
    else EXPECT_EQ(module_dir.rfind(windows_path(temp_) + "\\onefile_", 0), 0u) << module_dir;
    EXPECT_TRUE(list_dir(elsewhere).empty());
  }
}

// A repair that cannot replace a file, held open by a running instance, runs the
// application from a temporary folder instead.
TEST_F(CacheTest, RepairThatCannotReplaceAFileFallsBack) {
  std::string exe = cached_onefile({});
  auto holder = std::async(std::launch::async, [&] {
    return run(exe, {"touch", windows_path(dir_ + "/up"), "waitfor", windows_path(dir_ + "/go")});
  });
  struct stat st;
  for (int i = 0; i < 600 && stat((dir_ + "/up").c_str(), &st) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(write_file(folder() + "/app.dll", read_file(folder() + "/app.dll") + "grown"));
  RunResult r = run(exe, {"env", "exit", "7"});
  ASSERT_TRUE(write_file(dir_ + "/go", ""));
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 7u) << r.out << r.err;
  EXPECT_EQ(values(r.out)["MODULE_DIR"].rfind(windows_path(temp_) + "\\onefile_", 0), 0u) << r.out;
  EXPECT_EQ(holder.get().exit_code, 0u);
  EXPECT_TRUE(new_extraction_dirs().empty());
}

// The application as a DLL or as a program of its own, run from a temporary folder or
// from the cache.
struct KindCase {
  const char* name;
  bool program;
  bool cache;
};

class ApplicationKindTest : public LauncherTest, public ::testing::WithParamInterface<KindCase> {
 protected:
  // app.exe with the test application first and `more` beside it.
  std::string app_onefile(std::vector<PayloadEntry> more = {}) {
    const KindCase& c = GetParam();
    std::vector<PayloadEntry> entries = {c.program ? PayloadEntry{u"prog.exe", file_bytes(test_program_exe())}
                                                   : PayloadEntry{u"app.dll", file_bytes(test_module_dll())}};
    entries.insert(entries.end(), more.begin(), more.end());
    const std::string exe = dir_ + "/app.exe";
    if (c.cache) EXPECT_FALSE(make_cached_onefile(entries, windows_path(dir_ + "/cache"), exe).empty());
    else EXPECT_TRUE(make_onefile(entries, exe));
    return exe;
  }
};

// A helper.dll beside the onefile executable, as in a Downloads folder, and for a
// module in the current folder too (a program's own search includes its current
// folder, as any program's does).
TEST_P(ApplicationKindTest, PackedDllWinsAndAPlantedOneIsNeverLoaded) {
  ASSERT_TRUE(write_file(dir_ + "/helper.dll", read_file(helper_dll("planted"))));
  for (bool packed : {true, false}) {
    SCOPED_TRACE(packed ? "packed" : "none packed");
    remove_tree(dir_ + "/cache");
    std::vector<PayloadEntry> more;
    if (packed) more.push_back({u"helper.dll", file_bytes(helper_dll("packed"))});
    const std::string exe = app_onefile(more);
    RunOptions options;
    if (!GetParam().program) options.directory = dir_;
    RunResult r = run(exe, {"load", "helper.dll"}, options);
    ASSERT_TRUE(r.reported) << r.err;
    EXPECT_EQ(r.exit_code, 0u) << r.err;
    EXPECT_NE(r.out.find(packed ? "load helper.dll=packed" : "load helper.dll=error 126"), std::string::npos) << r.out;
  }
}

TEST_P(ApplicationKindTest, ArgumentsArriveAsGiven) {
  const std::string exe = app_onefile();
  RunResult r = run(exe, {"args", "", "x \"y\""});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(args_seen(r.out), (std::vector<std::string>{windows_path(exe), "args", "", "x \"y\""})) << r.out;
}

// A module run from the cache is the Launcher's own process, and its folder stays: its
// workers have nothing to wait for.
class WorkerTest : public ApplicationKindTest {};

// The application starts its own executable again as a worker and returns at once;
// the worker lists its files later. The exit code is the application's.
TEST_P(WorkerTest, WorkerSharesTheFolderWhichGoesOnlyAfterIt) {
  const std::string exe = app_onefile({{u"data\\x.txt", text("x")}});
  RunResult r = run(exe, {"env", "start", windows_path(exe), "sleep", "1500", "env", "list", "exit", "9"});
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 0u) << r.out << r.err;
  const std::vector<std::string> dirs = module_dirs(r.out);
  ASSERT_EQ(dirs.size(), 2u) << r.out;
  EXPECT_EQ(dirs[0], dirs[1]);
  EXPECT_NE(r.out.find("file data\\x.txt 1 "), std::string::npos) << r.out;
  EXPECT_TRUE(new_extraction_dirs().empty());
}

// A Windows program ends the Launcher with TerminateProcess once the application runs.
TEST_P(ApplicationKindTest, KilledLauncherTakesItsApplicationAlong) {
  const std::string exe = app_onefile();
  const std::string pid_file = windows_path(dir_ + "/pid");
  RunOptions options;
  options.env = {{"TARVEX_RUN_KILL_WHEN", pid_file}};
  RunResult r = run(exe, {"pid", pid_file, "sleep", "60000"}, options);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 77u) << r.out << r.err;
  EXPECT_EQ(r.out, "application ended\r\n");
  // What a killed run leaves is the sweep's business.
  for (const std::string& left : new_extraction_dirs()) remove_tree(temp_ + "/" + left);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ApplicationKindTest,
                         ::testing::Values(KindCase{"Module", false, false}, KindCase{"Program", true, false},
                                           KindCase{"CachedModule", false, true},
                                           KindCase{"CachedProgram", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Kinds, WorkerTest,
                         ::testing::Values(KindCase{"Module", false, false}, KindCase{"Program", true, false},
                                           KindCase{"CachedProgram", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherTest, ExecutableAtTheRootOfADrivePublishesDriveLetterAndColon) {
  std::string link = wine_prefix() + "/dosdevices/t:";
  remove(link.c_str());
  ASSERT_EQ(symlink(dir_.c_str(), link.c_str()), 0);
  module_onefile();
  RunResult r = run_line("T:\\app.exe env");
  remove(link.c_str());
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(values(r.out)["TARVEX_ONEFILE_DIRECTORY"], "T:") << r.out;
}

}  // namespace
}  // namespace tarvex::e2e
