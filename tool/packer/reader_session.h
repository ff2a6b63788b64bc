// Running the Launcher's payload reader inside the tool. The reader ends the process on
// damaged data with the product's message on standard output; during a session that line
// is caught, the command's temporary output is removed, and the tool prints one line on
// standard error naming the file: "tarvex: app.exe: Error, couldn't decode attached data."
#pragma once
#include <string>

#include "tool/packer/payload_resource.h"

namespace tarvex::packer {

using SessionCleanup = void (*)();

// Until end_reader_session, nothing else may be written to standard output.
void begin_reader_session(const std::string& file, SessionCleanup cleanup);
void end_reader_session();

// Reads the executable `exe` into `file` and finds its payload; on failure prints the
// one line that names the file and the reason, and returns false.
bool load_packed_payload(const std::string& exe, Bytes* file, PayloadView* payload);

}  // namespace tarvex::packer
