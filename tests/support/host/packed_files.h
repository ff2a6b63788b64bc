// Test helper (host): the tool, the Windows programs it packs, and application folders to pack.
#pragma once
#include <string>
#include <vector>

#include "payload/writer.h"
#include "tests/support/host/host_command.h"

namespace tarvex::packer_test {

using testing::tarvex_tool;  // the host build of tarvex
std::string launcher();      // the Launcher of the Windows build
std::string test_module();   // a DLL exporting run_code, steered by its arguments
std::string windows_program(const std::string& relative);  // below the Windows build tree

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

// A Launcher copy carrying `resource` as its payload, without the packer's checks.
void write_onefile(const Bytes& resource, const std::string& out);

// The bytes of a file.
Bytes file_bytes(const std::string& path);
// Expects the executable `exe` to hold as its icon exactly the images of the .ico file
// `icon`, byte for byte: group 1 and RT_ICON 1 to N, language neutral, and no others.
void expect_icon(const std::string& exe, const Bytes& icon);

// Entries of a folder, names only, sorted.
std::vector<std::string> entries(const std::string& dir);

}  // namespace tarvex::packer_test
