// The check on the module named by --main: the Launcher loads it and calls its run_code.
#pragma once
#include <string>

#include "pe/pe_image.h"
#include "tool/failure.h"

namespace tarvex::packer {

inline constexpr char kEntryPointName[] = "run_code";

// Whether `file` is a PE32+ x86-64 DLL that exports run_code, so that a missing entry
// point is caught when packing.
Failure check_main_module(const Bytes& file);

// Whether `file` is a PE32+ x86-64 program the payload can be attached to: not a DLL
// and not signed.
Failure check_launcher_image(const Bytes& file);

}  // namespace tarvex::packer
