// The check on the module named by --main: the Launcher loads it and calls its run_code.
#pragma once
#include <string>

#include "tool/pe_image.h"

namespace tarvex::packer {

inline constexpr char kEntryPointName[] = "run_code";

// True when `file` is a PE32+ x86-64 DLL that exports run_code; otherwise `reason`
// says what is wrong, so a missing entry point is caught when packing.
bool check_main_module(const Bytes& file, std::string* reason);

// True when `file` is a PE32+ x86-64 program the payload can be attached to: not a
// DLL and not signed. Otherwise `reason` says why not.
bool check_launcher_image(const Bytes& file, std::string* reason);

}  // namespace tarvex::packer
