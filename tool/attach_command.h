// `tarvex attach EXE --payload FILE -o OUT`: the command's steps and its messages.
#pragma once
#include <string>

namespace tarvex {

// Stores the bytes of `payload_path` as the payload resource of a copy of `exe` written
// to `out_path` (which may be `exe`). Returns the exit code: 0, or 2 after one line on
// standard error naming the file and the reason.
int run_attach(const std::string& exe, const std::string& payload_path, const std::string& out_path);

}  // namespace tarvex
