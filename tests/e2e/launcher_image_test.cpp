// The Launcher's image: a GUI-subsystem program that imports system DLLs only, with
// its version record, manifest and icons.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/support/host/onefile.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::e2e {
namespace {

std::string command_output(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  pclose(p);
  return out;
}

TEST(LauncherImage, GuiSubsystemImportingSystemDllsOnly) {
  std::string dump = command_output("x86_64-w64-mingw32-objdump -p '" + launcher_exe() + "'");
  ASSERT_NE(dump.find("Subsystem\t\t00000002\t(Windows GUI)"), std::string::npos) << dump.substr(0, 2000);
  std::set<std::string> imports;
  for (size_t at = dump.find("DLL Name: "); at != std::string::npos; at = dump.find("DLL Name: ", at + 1))
    imports.insert(dump.substr(at + 10, dump.find('\n', at) - at - 10));
  // shell32 is bound on first use, so that a process start does not pay for it.
  EXPECT_EQ(imports, (std::set<std::string>{"KERNEL32.dll", "msvcrt.dll"}));
}

TEST(LauncherImage, CarriesVersionManifestAndIcons) {
  std::string rc = command_output("x86_64-w64-mingw32-windres -i '" + launcher_exe() + "' -O rc 2>&1");
  EXPECT_NE(rc.find("\"CompanyName\", \"Vantor Works\""), std::string::npos) << rc.substr(0, 3000);
  EXPECT_NE(rc.find("\"ProductName\", \"Korvane Field Studio\""), std::string::npos);
  EXPECT_NE(rc.find("FILEVERSION 1, 0, 0, 0"), std::string::npos);
  EXPECT_NE(rc.find("asInvoker"), std::string::npos);
  EXPECT_NE(rc.find("longPathAware"), std::string::npos);
  EXPECT_NE(rc.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(rc.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"), std::string::npos);
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = rc.find(what); at != std::string::npos; at = rc.find(what, at + 1)) ++n;
    return n;
  };
  const size_t icons = count("/* RT_ICON */"), groups = count("/* RT_GROUP_ICON */");
  EXPECT_EQ(groups, 1u) << rc.substr(0, 3000);
  EXPECT_EQ(icons, 4u) << rc.substr(0, 3000);
}

}  // namespace
}  // namespace tarvex::e2e
