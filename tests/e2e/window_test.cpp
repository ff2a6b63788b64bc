// The windowed Launcher's windows, seen under a virtual X server: the error box, the
// progress window of a long extraction, and the hidden window that hears of a logoff.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/host/packed_files.h"

namespace tarvex::e2e {
namespace {

using packer_test::pack;
using packer_test::TempDir;

// window_probe's report on `exe` in `mode`.
RunResult probe(const std::string& mode, const std::string& exe, const std::vector<std::string>& args,
                const RunOptions& options = {}) {
  std::vector<std::string> all = {mode, windows_path(exe)};
  all.insert(all.end(), args.begin(), args.end());
  RunResult r = run_windows(windows_program("tests/e2e/window_probe.exe"), all, options);
  r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());
  return r;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(LauncherWindows, ErrorLineInABoxOnlyWithoutStandardErrorAndUnlessTurnedOff) {
  TempDir dir;
  const std::string exe = dir.path + "/damaged.exe";
  ASSERT_TRUE(make_onefile_from_resource(Bytes{'n', 'o', 'p', 'e'}, exe));
  const std::string line = "Error, couldn't find attached data header.";
  struct Row {
    const char* mode;
    const char* no_dialog;  // TARVEX_NO_ERROR_DIALOG, or null
    bool box;
  } rows[] = {{"box", nullptr, true}, {"box", "1", false}, {"streams", nullptr, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.mode) + (row.no_dialog ? " turned off" : ""));
    RunOptions options;
    if (row.no_dialog) options.env.emplace_back("TARVEX_NO_ERROR_DIALOG", row.no_dialog);
    RunResult r = probe(row.mode, exe, {}, options);
    EXPECT_TRUE(has(r.out, "exit=2\n")) << r.out;
    EXPECT_EQ(has(r.out, "title=Korvane Field Studio\ntext=" + line + "\n"), row.box) << r.out << r.err;
    EXPECT_EQ(has(r.out, "window=none"), !row.box) << r.out;
  }
}

TEST(LauncherWindows, LongExtractionShowsProgressUnlessPackedWithout) {
  TempDir dir;
  const std::string app = dir.path + "/app";
  packer_test::make_app(app);
  // Thousands of small files: each costs Wine at least about half a millisecond to
  // write, so that the extraction surely lasts longer than the window's delay.
  std::filesystem::create_directories(app + "/many");
  for (int i = 0; i < 2000; ++i) write_file(app + "/many/f" + std::to_string(i) + ".txt", std::to_string(i));
  for (bool off : {false, true}) {
    SCOPED_TRACE(off ? "--no-progress" : "default");
    std::vector<std::string> extra = {"--product", "Slow Starter"};
    if (off) extra.push_back("--no-progress");
    const std::string exe = dir.path + (off ? "/quiet.exe" : "/slow.exe");
    ASSERT_EQ(pack(app, exe, extra).exit_code, 0);
    RunResult r = probe("progress", exe, {"exit", "7"});
    EXPECT_TRUE(has(r.out, "exit=7\n")) << r.out << r.err;
    EXPECT_EQ(has(r.out, "title=Slow Starter\n"), !off) << r.out;
  }
}

TEST(LauncherWindows, LogoffEndsTheApplicationAndRemovesTheFolder) {
  TempDir dir;
  const std::string app = dir.path + "/app";
  packer_test::make_app(app);
  const std::string exe = dir.path + "/waits.exe";
  ASSERT_EQ(pack(app, exe).exit_code, 0);
  const std::vector<std::string> before = extraction_dirs();
  RunResult r = probe("logoff", exe, {"sleep", "60000"});
  EXPECT_TRUE(has(r.out, "wineboot ran\n")) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "exit=3221225786\n")) << r.out;  // 0xC000013A, as after Ctrl+C
  EXPECT_EQ(extraction_dirs(), before);
}

}  // namespace
}  // namespace tarvex::e2e
