// Test helper (host): real onefile executables from the real Launcher and a payload.
#pragma once
#include <string>
#include <vector>

#include "payload/writer.h"

namespace tarvex::e2e {

std::string launcher_exe();     // the built Launcher
std::string test_module_dll();  // the module the tests steer through arguments
std::string no_entry_module_dll();
std::string test_program_exe();                   // the same commands as a program of its own
std::string helper_dll(const std::string& kind);  // "packed" or "planted": helper_id() says which
Bytes file_bytes(const std::string& path);

// Writes the Launcher with `resource` attached as the payload to `out`; with `console`
// a console program, as `tarvex pack --console` makes one.
bool make_onefile_from_resource(const Bytes& resource, const std::string& out, bool console = false);
// The same for a list of entries (the first is the module), compressed as the packer would.
bool make_onefile(const std::vector<PayloadEntry>& entries, const std::string& out, bool console = false);

// The same in cache mode, as `tarvex pack --cache-dir TEMPLATE` makes it (the record
// lists the entries as given; they should have distinct names). Returns the key, the
// last folder of the cache folder, or "" on failure.
std::string make_cached_onefile(const std::vector<PayloadEntry>& entries, const std::string& folder_template,
                                const std::string& out, bool console = false);

// Extraction folders (onefile_*) currently in Wine's temporary folder.
std::vector<std::string> extraction_dirs();

}  // namespace tarvex::e2e
