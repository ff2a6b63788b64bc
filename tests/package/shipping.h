// Test helper (host): what the shipping tests share: CMake and CPack runs, the installed
// tree and the archives made from this build, and the example application folder.
#pragma once
#include <string>
#include <vector>

#include "tests/support/host/host_command.h"

namespace tarvex::shipping_test {

using testing::has;
using testing::without_cr;

// `cmake ARGS...` with the CMake of this build.
testing::CommandResult cmake(const std::vector<std::string>& args);
// This build installed into `prefix`, as `cmake --install` and scripts/build.sh do.
testing::CommandResult install_build(const std::string& prefix);
// `cpack -G GENERATOR` of this build into `out_dir`; the archive's path, "" on failure
// (with the reason in `error`).
std::string make_archive(const std::string& generator, const std::string& out_dir, std::string* error);
// Unpacks a .tar.gz or .zip into `dir`.
testing::CommandResult unpack(const std::string& archive, const std::string& dir);

// Configures (Ninja, Release) and builds an application project; the build's output
// when it fails.
testing::CommandResult configure(const std::string& source, const std::string& build,
                                 const std::vector<std::string>& options);
testing::CommandResult build(const std::string& build_dir);

// The example application as an application folder: hello.dll of this build and the
// files of examples/hello/data beside it.
void make_example_app(const std::string& dir);
// The example's output when it ran well with the arguments "Ada Lovelace" "--verbose".
void expect_example_output(const std::string& out);

}  // namespace tarvex::shipping_test
