// `tarvex extract`: every entry written below DIR in stored order, as the Launcher writes them.
// The files go to a fresh temporary folder beside DIR that becomes DIR only when all is written.
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <random>
#include <vector>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "tool/file_io.h"
#include "tool/packer/commands.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/host_paths.h"
#include "tool/packer/payload_resource.h"
#include "tool/packer/progress.h"
#include "tool/packer/reader_session.h"

namespace tarvex::packer {

namespace {

constexpr int kNameAttempts = 100;

// Removed again when extraction fails, also when the reader ends the process.
fs::path g_temporary;
fs::path g_created_parent;  // the top-most folder made for DIR's parent, if any

void remove_temporary() {
  std::error_code ec;
  if (!g_temporary.empty()) fs::remove_all(g_temporary, ec);
  if (!g_created_parent.empty()) fs::remove_all(g_created_parent, ec);
}

bool make_temporary_beside(const fs::path& target, fs::path* made, std::string* reason) {
  std::random_device random;
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code ec;
  for (fs::path p = parent; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    g_created_parent = p;
    if (p == p.parent_path()) break;
  }
  fs::create_directories(parent, ec);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".tarvex-%08x", static_cast<unsigned>(random()));
    fs::path candidate = parent / (fs::path(".").native() + target.filename().native() + fs::path(suffix).native());
    if (fs::create_directory(candidate, ec)) {
      *made = candidate;
      return true;
    }
    if (ec) break;
  }
  *reason = ec ? ec.message() : "no free temporary name";
  return false;
}

// Ends a failed extraction: no partial output stays behind.
int fail(const std::string& file, const std::string& reason) {
  end_reader_session();
  remove_temporary();
  error_printf(stderr, msg::kToolCannotExtract, file.c_str(), reason.c_str());
  return 2;
}

}  // namespace

int run_extract(const std::string& exe_text, const std::string& dir_text) {
  const std::string exe = display_path(path_from_utf8(exe_text));
  fs::path target = path_from_utf8(dir_text);
  if (!target.has_filename()) target = target.parent_path();  // "out/" names the folder "out"
  std::error_code ec;
  if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec))) {
    error_printf(stderr, msg::kToolCannotExtract, exe.c_str(),
                 ("'" + display_path(target) + "' already exists and is not an empty folder").c_str());
    return 2;
  }
  Bytes file;
  PayloadView payload;
  if (!load_packed_payload(exe, &file, &payload)) return 2;
  std::string reason;
  if (!make_temporary_beside(target, &g_temporary, &reason)) return fail(exe, reason);

  begin_reader_session(exe, remove_temporary);
  const uint64_t frame_area = payload.size - payload::kSignatureSize;
  open_payload(payload.data + payload::kSignatureSize, frame_area);
  WideBuffer<payload::kMaxNameUnits + 1> name;
  std::vector<uint8_t> slice(payload::kWriteSliceSize);
  size_t count = 0;
  uint64_t total = 0;
  ProgressBar progress("extracting", frame_area);
  for (;;) {
    read_entry_name(name);
    if (name.empty()) break;
    const std::u16string entry = to_utf16(name.c_str(), name.size());
    fs::path path;
    if (!entry_name_stays_inside(name.c_str()))
      return fail(exe, "its entry '" + utf16_to_utf8(entry) + "' would land outside '" + display_path(target) + "'");
    if (!entry_path(g_temporary, entry, &path))
      return fail(exe, "its entry '" + utf16_to_utf8(entry) + "' is not valid Unicode");
    fs::create_directories(path.parent_path(), ec);
    if (ec) return fail(display_path(target / path.lexically_relative(g_temporary)), ec.message());
    FILE* out = open_file(path, "wb");
    if (!out) return fail(display_path(target / path.lexically_relative(g_temporary)), strerror(errno));
    bool written = true;
    for (uint64_t left = read_entry_size(); left > 0;) {
      const size_t n = left < slice.size() ? static_cast<size_t>(left) : slice.size();
      read_payload(slice.data(), n);
      written = written && fwrite(slice.data(), 1, n, out) == n;
      left -= n;
      total += n;
      progress.update(payload_input_consumed());
    }
    if (fclose(out) != 0 || !written)
      return fail(display_path(target / path.lexically_relative(g_temporary)), "writing failed");
    ++count;
  }
  close_payload();
  end_reader_session();
  progress.finish();

  if (fs::exists(target, ec)) fs::remove(target, ec);  // the empty folder checked above
  fs::rename(g_temporary, target, ec);
  if (ec) return fail(display_path(target), ec.message());
  g_temporary.clear();
  g_created_parent.clear();
  printf("Extracted %zu files (%" PRIu64 " bytes) to %s.\n", count, total, display_path(target).c_str());
  return 0;
}

}  // namespace tarvex::packer
