// The manifest of a packed executable (its RT_MANIFEST resource): written from the
// packer's settings, or taken whole from a file; and the execution level a program's
// own manifest asks for.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pe/resource_tree.h"

namespace tarvex::pe {

inline constexpr uint32_t kManifestType = 24;  // RT_MANIFEST

struct ManifestSettings {
  std::u16string product;                     // the assembly identity's name, made safe
  std::string version = "1.0.0.0";            // four numbers
  std::string execution_level = "asInvoker";  // asInvoker, highestAvailable, requireAdministrator
  std::string dpi_aware;                      // unaware, system, permonitorv2; empty: not stated
};

// A manifest with the identity, the execution level, the common-controls dependency,
// the supported systems, long-path awareness and, when stated, the DPI awareness.
std::string build_manifest(const ManifestSettings& settings);

// The name an assembly identity may carry: letters, digits, '.', '-' and '_' of the
// product name, every other character as '_'; "Application" when nothing is left.
std::string assembly_name(const std::u16string& product);

// The level of the first requestedExecutionLevel element, or "" when there is none.
std::string manifest_execution_level(const uint8_t* data, size_t size);

// The first RT_MANIFEST resource, or null.
const Resource* find_manifest_resource(const std::vector<Resource>& resources);

// Removes every RT_MANIFEST resource and adds `manifest` under the name and language of
// the first one removed (id 1, neutral, when there was none).
void replace_manifest_resource(std::vector<Resource>& resources, const std::string& manifest);

}  // namespace tarvex::pe
