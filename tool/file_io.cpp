// Whole-file reading and replace-by-rename writing with the C runtime and std::filesystem.
// Paths come as UTF-8 text and are opened wide on Windows, where a narrow name would go
// through the ANSI code page.
#include "tool/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace tarvex {

namespace {

#ifdef _WIN32
constexpr int kCreateFlags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;
int open_new(const fs::path& path) { return _wopen(path.c_str(), kCreateFlags, _S_IREAD | _S_IWRITE); }
FILE* open_to_read(const fs::path& path) { return _wfopen(path.c_str(), L"rb"); }
long write_some(int fd, const uint8_t* data, size_t size) { return _write(fd, data, static_cast<unsigned>(size)); }
bool flush_and_close(int fd) {
  const bool committed = _commit(fd) == 0;
  return _close(fd) == 0 && committed;
}
#else
int open_new(const fs::path& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600); }
FILE* open_to_read(const fs::path& path) { return fopen(path.c_str(), "rb"); }
long write_some(int fd, const uint8_t* data, size_t size) { return write(fd, data, size); }
bool flush_and_close(int fd) {
  const bool synced = fsync(fd) == 0;
  return close(fd) == 0 && synced;
}
#endif

constexpr size_t kWriteChunk = size_t{1} << 26;  // below the 32-bit count of the Windows runtime
constexpr int kNameAttempts = 100;

Failure errno_failure(const std::string& path) { return fail(path, strerror(errno)); }

}  // namespace

Failure read_whole_file(const std::string& path, Bytes* out) {
  std::error_code ec;
  const fs::path file = fs::u8path(path);
  const uintmax_t size = fs::file_size(file, ec);
  if (ec) return fail(path, ec.message());
  FILE* f = open_to_read(file);
  if (!f) return errno_failure(path);
  out->resize(static_cast<size_t>(size));
  const size_t got = out->empty() ? 0 : fread(out->data(), 1, out->size(), f);
  const bool failed = got != out->size() || ferror(f);
  fclose(f);
  if (failed) return fail(path, "the file could not be read completely");
  return {};
}

int create_beside(const fs::path& target, const std::function<int(const fs::path&)>& create, fs::path* made) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::random_device random;
  int result = EEXIST;
  for (int attempt = 0; attempt < kNameAttempts && result == EEXIST; ++attempt) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".tarvex-%08x", static_cast<unsigned>(random()));
    fs::path name(".");
    name += target.filename();
    name += suffix;
    *made = folder / name;
    result = create(*made);
  }
  return result;
}

Failure replace_file(const std::string& path, const Bytes& data, const std::string& permissions_from) {
  const fs::path target = fs::u8path(path);
  fs::path temp;
  int fd = -1;
  const int error = create_beside(
      target,
      [&](const fs::path& name) {
        fd = open_new(name);
        return fd < 0 ? errno : 0;
      },
      &temp);
  if (error) return fail(path, strerror(error));

  Failure failure;
  for (size_t done = 0; !failure && done < data.size();) {
    const long wrote = write_some(fd, data.data() + done, std::min(kWriteChunk, data.size() - done));
    if (wrote <= 0) failure = errno_failure(path);
    else done += static_cast<size_t>(wrote);
  }
  if (!flush_and_close(fd) && !failure) failure = errno_failure(path);

  std::error_code ec;
  if (!failure) {
    const fs::perms perms = fs::status(fs::u8path(permissions_from), ec).permissions();
    if (!ec) fs::permissions(temp, perms, ec);
    if (!ec) fs::rename(temp, target, ec);
    if (ec) failure = fail(path, ec.message());
  }
  if (failure) fs::remove(temp, ec);
  return failure;
}

}  // namespace tarvex
