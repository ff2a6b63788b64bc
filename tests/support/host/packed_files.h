// Test helper (host): what the packer and shipping tests share: the tool's commands,
// application folders to pack, and the check of an executable's icon.
#pragma once
#include <string>
#include <vector>

#include "payload/writer.h"
#include "tests/support/host/host_command.h"
#include "tests/support/host/onefile.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::packer_test {

using e2e::file_bytes;
using e2e::launcher_exe;  // the Launcher of the Windows build
using e2e::list_dir;
using e2e::test_module_dll;  // a DLL exporting run_code, steered by its arguments
using e2e::windows_program;  // below the Windows build tree
using testing::has;
using testing::tarvex_tool;  // the host build of tarvex

// A folder under /tmp removed when the object goes.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path;
};

// An application folder: the test module as app.dll and two data files.
void make_app(const std::string& dir);
void copy_file(const std::string& from, const std::string& to);

// `tarvex ARGS...`
testing::CommandResult tarvex(const std::vector<std::string>& args);
// `tarvex pack APP --main app.dll -o OUT --launcher LAUNCHER EXTRA...`, at level 3 unless EXTRA sets one
testing::CommandResult pack(const std::string& app, const std::string& out, const std::vector<std::string>& extra = {});

// Expects the executable `exe` to hold as its icon exactly the images of the .ico file
// `icon`, byte for byte: group 1 and RT_ICON 1 to N, language neutral, and no others.
void expect_icon(const std::string& exe, const Bytes& icon);

}  // namespace tarvex::packer_test
