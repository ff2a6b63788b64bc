// `tarvex attach`: read both inputs, build the new image in memory, replace the output.
#include "tool/attach_command.h"

#include "pe/resource_rebuild.h"
#include "tool/file_io.h"
#include "tool/messages.h"

namespace tarvex {

int run_attach(const std::string& exe, const std::string& payload_path, const std::string& out_path) {
  Bytes image, payload, result;
  if (Failure f = read_whole_file(exe, &image)) return report(f, tool_msg::kCannotRead);
  if (Failure f = read_whole_file(payload_path, &payload)) return report(f, tool_msg::kCannotRead);
  if (Failure f = pe::attach_payload(image, payload, &result)) return report(f, tool_msg::kCannotAttach, exe);
  payload = Bytes();
  image = Bytes();
  if (Failure f = replace_file(out_path, result, exe)) return report(f, tool_msg::kCannotWrite);
  return 0;
}

}  // namespace tarvex
