// Walking the application folder: files, symbolic links, names, and the order they are packed in.
#include "tool/packer/app_folder.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "payload/format.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/host_paths.h"

namespace tarvex::packer {

namespace {

struct Walker {
  fs::path root;                       // canonical
  fs::path leave_out;                  // empty when the output does not exist yet
  std::vector<fs::path> open_folders;  // canonical, from the root down to the current one
  AppFolder* folder;

  bool inside_root(const fs::path& canonical) const {
    return std::mismatch(root.begin(), root.end(), canonical.begin(), canonical.end()).first == root.end();
  }

  Failure visit(const fs::path& dir, const std::u16string& prefix);
  Failure visit_entry(const fs::path& path, const std::u16string& name);
};

Failure Walker::visit(const fs::path& dir, const std::u16string& prefix) {
  std::vector<std::pair<std::u16string, fs::path>> entries;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::u16string name;
    const std::string shown = display_path(it->path());
    if (!name_to_utf16(it->path().filename(), &name)) return fail(shown, "its name is not valid UTF-8");
    // A Linux name may hold a backslash, which would split it into folders on Windows.
    if (name.find(u'\\') != std::u16string::npos)
      return fail(shown, "its name holds the character '\\', which Windows does not allow in file names");
    entries.emplace_back(prefix.empty() ? name : prefix + u'\\' + name, it->path());
  }
  if (ec) return fail(display_path(dir), ec.message());
  if (entries.empty()) folder->empty_folders.push_back(dir);
  // Sorting each folder's names gives the whole tree one order on every host, and the
  // first problem reported is the same on every run.
  std::sort(entries.begin(), entries.end());
  for (const auto& [name, path] : entries) TARVEX_TRY(visit_entry(path, name));
  return {};
}

Failure Walker::visit_entry(const fs::path& path, const std::u16string& name) {
  const std::string shown = display_path(path);
  if (Failure f = check_entry_name(name)) return about(f, nullptr, shown);
  std::error_code ec;
  const fs::file_status link = fs::symlink_status(path, ec);
  if (ec) return fail(shown, ec.message());
  if (fs::is_symlink(link)) {
    const fs::path target = fs::canonical(path, ec);
    if (ec) return fail(shown, "it is a symbolic link whose target cannot be found");
    if (!inside_root(target)) return fail(shown, "it is a symbolic link that leads outside the application folder");
  }
  const fs::file_status status = fs::status(path, ec);
  if (ec) return fail(shown, ec.message());

  if (fs::is_directory(status)) {
    const fs::path canonical = fs::canonical(path, ec);
    if (ec) return fail(shown, ec.message());
    if (std::find(open_folders.begin(), open_folders.end(), canonical) != open_folders.end())
      return fail(shown, "it is a symbolic link to a folder that contains it");
    open_folders.push_back(canonical);
    Failure failure = visit(path, name);
    open_folders.pop_back();
    return failure;
  }
  if (!fs::is_regular_file(status)) return fail(shown, "it is neither a regular file nor a folder");
  if (!leave_out.empty() && fs::equivalent(path, leave_out, ec)) {
    folder->left_out_output = true;
    return {};
  }
  const uintmax_t size = fs::file_size(path, ec);
  if (ec) return fail(shown, ec.message());
  folder->files.push_back({name, path, size});
  return {};
}

// Windows compares names ignoring letter case: two such files would overwrite each
// other, and a file cannot share its name with a folder.
Failure check_case_collisions(const AppFolder& folder) {
  std::map<std::u16string, size_t> files, folders;
  for (size_t i = 0; i < folder.files.size(); ++i) {
    const std::u16string folded = fold_case(folder.files[i].name);
    auto [at, added] = files.emplace(folded, i);
    if (!added)
      return fail(display_path(folder.files[i].path),
                  "its name differs only in letter case from '" + display_path(folder.files[at->second].path) + "'");
    for (size_t k = folded.find(u'\\'); k != std::u16string::npos; k = folded.find(u'\\', k + 1))
      folders.emplace(folded.substr(0, k), i);
  }
  for (const auto& [folded, i] : files) {
    auto clash = folders.find(folded);
    if (clash != folders.end())
      return fail(display_path(folder.files[i].path), "a folder of the same name ignoring letter case holds '" +
                                                          display_path(folder.files[clash->second].path) + "'");
  }
  return {};
}

}  // namespace

Failure walk_app_folder(const fs::path& root, const fs::path& leave_out, AppFolder* folder) {
  *folder = AppFolder();
  std::error_code ec;
  if (!fs::exists(root, ec)) return fail(display_path(root), "no such folder");
  if (!fs::is_directory(root, ec)) return fail(display_path(root), "not a folder");
  Walker walker{fs::canonical(root, ec), {}, {}, folder};
  if (ec) return fail(display_path(root), ec.message());
  if (!leave_out.empty() && fs::exists(leave_out, ec)) walker.leave_out = leave_out;
  walker.open_folders.push_back(walker.root);
  TARVEX_TRY(walker.visit(root, u""));
  return check_case_collisions(*folder);
}

bool put_first(AppFolder* folder, const std::u16string& name) {
  const std::u16string folded = fold_case(name);
  auto& files = folder->files;
  auto it = std::find_if(files.begin(), files.end(), [&](const AppFile& f) { return fold_case(f.name) == folded; });
  if (it == files.end()) return false;
  std::rotate(files.begin(), it, it + 1);
  return true;
}

uint64_t entry_stream_size(const std::vector<AppFile>& files) {
  uint64_t size = payload::kNameUnitSize;  // the end marker
  for (const AppFile& f : files)
    size += (f.name.size() + 1) * payload::kNameUnitSize + payload::kSizeFieldSize + f.size;
  return size;
}

}  // namespace tarvex::packer
