// `tarvex attach`: read both inputs, build the new image in memory, replace the output.
#include "tool/attach_command.h"

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "tool/attach.h"
#include "tool/file_io.h"

namespace tarvex {

int run_attach(const std::string& exe, const std::string& payload_path, const std::string& out_path) {
  Bytes image, payload, result;
  std::string error;
  if (!read_whole_file(exe, &image, &error)) {
    error_printf(stderr, msg::kToolCannotRead, exe.c_str(), error.c_str());
    return 2;
  }
  if (!read_whole_file(payload_path, &payload, &error)) {
    error_printf(stderr, msg::kToolCannotRead, payload_path.c_str(), error.c_str());
    return 2;
  }
  if (!attach_payload(image, payload, &result, &error)) {
    error_printf(stderr, msg::kToolCannotAttach, exe.c_str(), error.c_str());
    return 2;
  }
  payload = Bytes();
  image = Bytes();
  if (!replace_file(out_path, result, exe, &error)) {
    error_printf(stderr, msg::kToolCannotWrite, out_path.c_str(), error.c_str());
    return 2;
  }
  return 0;
}

}  // namespace tarvex
