// What a program carries that a packed executable takes over when that program is its
// application: the version record, the icon, the subsystem and the execution level.
#pragma once
#include <string>

#include "pe/icon_resources.h"
#include "pe/version_record.h"

namespace tarvex::pe {

struct ProgramLook {
  bool has_version = false;
  VersionRecord version;
  bool has_icon = false;
  IconResources icon;  // points into the program's bytes
  uint16_t subsystem = 0;
  std::string execution_level;  // empty: its manifest asks for none
};

// Reads the look of `program` (the bytes stay alive while `look` is used): its first
// icon group with the images it names, its first version record, its subsystem and
// its manifest's execution level. A part that is missing or malformed is left out.
Error read_program_look(const Bytes& program, ProgramLook* look);

}  // namespace tarvex::pe
