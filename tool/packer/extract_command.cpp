// `tarvex extract`: every entry written below DIR in stored order, as the Launcher writes them.
// The files go to a fresh temporary folder beside DIR that becomes DIR only when all is written.
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <map>
#include <vector>

#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "tool/file_io.h"
#include "tool/messages.h"
#include "tool/packer/commands.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/host_paths.h"
#include "tool/packer/payload_resource.h"
#include "tool/packer/progress.h"

namespace tarvex::packer {

namespace {

// The folder the entries are written to, and the folders made above it; all of it is
// removed again unless it was renamed into place.
struct Temporary {
  fs::path folder;
  fs::path created_parent;  // the top-most folder made for DIR's parent, if any

  ~Temporary() {
    std::error_code ec;
    if (!folder.empty()) fs::remove_all(folder, ec);
    if (!created_parent.empty()) fs::remove_all(created_parent, ec);
  }
  void keep() {
    folder.clear();
    created_parent.clear();
  }
};

Failure make_temporary_beside(const fs::path& target, Temporary* made) {
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code ec;
  for (fs::path p = parent; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    made->created_parent = p;
    if (p == p.parent_path()) break;
  }
  fs::create_directories(parent, ec);
  fs::path folder;
  const int result = create_beside(
      target,
      [&](const fs::path& name) {
        if (fs::create_directory(name, ec)) return 0;
        return ec ? -1 : EEXIST;
      },
      &folder);
  if (result != 0) return fail(ec ? ec.message() : "no free temporary name");
  made->folder = folder;
  return {};
}

struct Extracted {
  size_t count = 0;
  uint64_t bytes = 0;
};

// Writes every entry of the payload of `exe` below `folder`; a failure names the file
// it concerns, shown as it would lie below `target`.
Failure write_entries(const std::string& exe, const PayloadView& payload, const fs::path& folder,
                      const fs::path& target, Extracted* done) {
  ScopedPayloadReader reader;
  PayloadStatus status = open_payload_view(reader, payload);
  if (!status.ok()) return payload_failure(exe, status);
  WideBuffer<payload::kMaxNameUnits + 1> name;
  std::map<std::u16string, std::u16string> folded;
  std::vector<uint8_t> slice(payload::kWriteSliceSize);
  ProgressBar progress("extracting", payload.size - payload::kSignatureSize);
  for (;;) {
    status = next_entry_name(reader, name);
    if (!status.ok()) return payload_failure(exe, status);
    if (name.empty()) break;
    const std::u16string entry = to_utf16(name.c_str(), name.size());
    fs::path path;
    if (Failure f = check_entry_name(entry))
      return fail(exe, "its entry '" + shown_entry_name(entry) + "': " + f.reason);
    if (Failure f = check_spelling(folded, entry)) return about(f, nullptr, exe);
    if (!entry_path(folder, entry, &path))
      return fail(exe, "its entry '" + utf16_to_utf8(entry) + "' is not valid Unicode");
    const std::string shown = display_path(target / path.lexically_relative(folder));
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) return fail(shown, ec.message());
    FILE* out = open_file(path, "wb");
    if (!out) return fail(shown, strerror(errno));
    uint64_t left = 0;
    status = next_entry_size(reader, &left);
    bool written = true;
    while (status.ok() && left > 0) {
      const size_t n = left < slice.size() ? static_cast<size_t>(left) : slice.size();
      status = reader.read(slice.data(), n);
      written = written && status.ok() && fwrite(slice.data(), 1, n, out) == n;
      left -= n;
      done->bytes += n;
      progress.update(reader.input_consumed());
    }
    if (fclose(out) != 0) written = false;
    if (!status.ok()) return payload_failure(exe, status);
    if (!written) return fail(shown, "writing failed");
    ++done->count;
  }
  progress.finish();
  return {};
}

}  // namespace

int run_extract(const std::string& exe_text, const std::string& dir_text) {
  const std::string exe = display_path(path_from_utf8(exe_text));
  fs::path target = path_from_utf8(dir_text);
  if (!target.has_filename()) target = target.parent_path();  // "out/" names the folder "out"
  std::error_code ec;
  if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec)))
    return report(fail("'" + display_path(target) + "' already exists and is not an empty folder"),
                  tool_msg::kCannotExtract, exe);
  Bytes file;
  PayloadView payload;
  if (Failure f = load_packed_payload(exe, &file, &payload)) return report(f);

  // Declared before the reading, so that a failure anywhere removes what was written.
  Temporary temporary;
  if (Failure f = make_temporary_beside(target, &temporary)) return report(f, tool_msg::kCannotExtract, exe);
  Extracted done;
  if (Failure f = write_entries(exe, payload, temporary.folder, target, &done))
    return report(f, tool_msg::kCannotExtract, exe);

  if (fs::exists(target, ec)) fs::remove(target, ec);  // the empty folder checked above
  fs::rename(temporary.folder, target, ec);
  if (ec) return report(fail(display_path(target), ec.message()), tool_msg::kCannotExtract);
  temporary.keep();
  printf("Extracted %zu files (%" PRIu64 " bytes) to %s.\n", done.count, done.bytes, display_path(target).c_str());
  return 0;
}

}  // namespace tarvex::packer
