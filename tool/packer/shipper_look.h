// What a packed executable says about itself: its version record, its manifest, its
// icon, its subsystem and whether it shows progress, worked out from the pack options,
// a --version-from file and a program given as --main.
#pragma once
#include <string>

#include "pe/program_look.h"
#include "tool/failure.h"
#include "tool/packer/commands.h"

namespace tarvex::packer {

struct ShipperLook {
  Bytes version;           // the version record's bytes
  std::string manifest;    // the manifest's text
  pe::IconResources icon;  // used when has_icon
  bool has_icon = false;
  uint16_t subsystem = 0;
  Bytes version_from_file;  // kept alive for what points into it
  Bytes manifest_file;
};

// Works the look out; `program`, when not null, is the look of a program given as
// --main. The failure is complete (catalogue line, file, reason) and nothing is written.
Failure make_shipper_look(const PackOptions& options, const pe::ProgramLook* program, const std::string& output_name,
                          ShipperLook* look);

// The edit that stores the look in a Launcher copy (the payload edit comes first).
void put_shipper_look(std::vector<pe::Resource>& resources, const ShipperLook& look, bool no_progress);

}  // namespace tarvex::packer
