// The packer's commands `pack`, `list` and `extract`; each returns the process exit code.
#pragma once
#include <string>

namespace tarvex::packer {

inline constexpr int kDefaultLevel = 19;

struct PackOptions {
  std::string app_dir;   // paths as UTF-8 text
  std::string main;      // relative to app_dir
  std::string output;    // empty: the folder's name + ".exe" in the current folder
  std::string launcher;  // empty: the Launcher installed beside tarvex
  int level = kDefaultLevel;
  int threads = 0;  // 0: one per processor core
  bool checksum = true;
  bool console = false;        // the console subsystem instead of the GUI one
  std::string icon;            // empty: the Launcher's own icon
  bool cache = false;          // extract once into a persistent folder and reuse it
  std::string cache_dir;       // the folder's template, when cache_dir_set
  bool cache_dir_set = false;  // false: kDefaultCacheTemplate
  // The version record; empty: not given. Without a product, a record made anew is
  // named after the output file.
  std::string company, product, app_version, description, copyright;
  std::string version_from;     // a PE file whose whole record is the start
  std::string execution_level;  // empty: asInvoker, or a program main's own
  std::string dpi_aware;        // empty: not stated in the manifest
  std::string manifest;         // a file that replaces the whole manifest
  bool no_progress = false;     // the windowed Launcher shows no progress window
};

// 0, or 2 after one line on standard error naming the file and the reason.
int run_pack(const PackOptions& options);
int run_list(const std::string& exe);
int run_extract(const std::string& exe, const std::string& dir);

}  // namespace tarvex::packer
