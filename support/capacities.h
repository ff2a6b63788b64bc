// The capacity of every fixed UTF-16 buffer in the Launcher, in code units with the
// terminator included, so that buffers holding the same kind of text agree.
#pragma once
#include <cstddef>

namespace tarvex {

// The longest path the system handles, in the \\?\ form: where a tree that this run
// made is walked for its removal, whatever the length of the paths below it.
inline constexpr size_t kLongPathCapacity = 32768;

// A path the Launcher builds: the extraction directory, a file's target path and its
// containing directory, the executable's folder, the profile directory.
inline constexpr size_t kPathCapacity = 4096;

// The executable's own path in every form (loader's name, short, canonical) and any
// path compared with it, such as another process's image name: one longer than
// kPathCapacity, so that the longest path the Launcher builds also fits.
inline constexpr size_t kExePathCapacity = kPathCapacity + 1;

// A directory whose missing ancestors are created: any path the Launcher builds, and
// one unit more, so that a path of kPathCapacity characters is still taken.
inline constexpr size_t kAncestorPathCapacity = kPathCapacity + 1;

// The path of the first payload entry, the module that the child role loads.
inline constexpr size_t kModulePathCapacity = 1024;

// A variable name between "{" and "}" of a path template.
inline constexpr size_t kTemplateNameCapacity = 1024;

// The child's command line; Windows accepts no longer one.
inline constexpr size_t kCommandLineCapacity = 32768;

// An environment variable's value; Windows caps a value at 32767 characters.
inline constexpr size_t kEnvValueCapacity = 32768;

// An environment variable's name, widened from the Launcher's ASCII literals.
inline constexpr size_t kEnvNameCapacity = 40;

// An unsigned 64-bit number in decimal: 20 digits.
inline constexpr size_t kDecimalCapacity = 21;

}  // namespace tarvex
