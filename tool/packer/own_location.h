// Where the running tarvex executable lies, and the Launcher installed beside it.
#pragma once
#include <filesystem>

namespace tarvex::packer {

inline constexpr char kLauncherFileName[] = "tarvex-launcher.exe";

// The running executable's own path (Linux: /proc/self/exe; Windows: GetModuleFileNameW).
bool own_executable(std::filesystem::path* path);

// The Launcher in the folder of the running executable.
bool installed_launcher(std::filesystem::path* path);

}  // namespace tarvex::packer
