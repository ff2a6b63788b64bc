// Cache mode, packer side: the folder template checked and keyed by the payload, and
// the cache record (resource 28) that carries it with every entry's name and size.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pe/pe_image.h"
#include "tool/failure.h"
#include "tool/packer/app_folder.h"

namespace tarvex::packer {

inline constexpr char kDefaultCacheTemplate[] = "{CACHE_DIR}\\{COMPANY}\\{PRODUCT}\\{VERSION}";

// Checks a folder template as the Launcher will expand it: references to known
// variables only, every brace paired, an absolute folder. {PID} and {TIME} are
// refused, since they would make every start extract into a new folder.
Failure check_cache_template(const std::u16string& folder_template);

// The payload's key: the first payload::kCacheKeyDigits hex digits of the SHA-256 of
// the payload resource's bytes.
std::string payload_key(const Bytes& payload_resource);

// The template with its trailing backslashes dropped and "\" + key appended.
std::u16string keyed_template(const std::u16string& folder_template, const std::string& key);

// The record's bytes; the first file is the module.
Bytes build_cache_record(const std::u16string& keyed, const std::vector<AppFile>& files);

// How `tarvex list` names the mode of an executable: "temporary", or "cache" and the
// keyed template; a record that does not read back is reported as damaged.
std::string describe_mode(const Bytes& file);

}  // namespace tarvex::packer
