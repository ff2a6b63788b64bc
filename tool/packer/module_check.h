// The check on the file named by --main: a DLL that the Launcher loads and whose
// run_code it calls, or a program that it starts.
#pragma once
#include <string>

#include "pe/pe_image.h"
#include "tool/failure.h"

namespace tarvex::packer {

inline constexpr char kEntryPointName[] = "run_code";

// Whether `file` is a PE32+ x86-64 program, or such a DLL that exports run_code, so
// that a missing entry point is caught when packing.
Failure check_main_module(const Bytes& file);

// Whether `file` is a PE32+ x86-64 program the payload can be attached to: not a DLL
// and not signed.
Failure check_launcher_image(const Bytes& file);

}  // namespace tarvex::packer
