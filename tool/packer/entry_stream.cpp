// Writing the entry stream through the payload compressor, file by file, with progress.
#include "tool/packer/entry_stream.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "tool/packer/host_paths.h"
#include "tool/packer/progress.h"

namespace tarvex::packer {

namespace {

constexpr size_t kReadSlice = size_t{1} << 20;

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};

// Name and size of one entry, ahead of its content.
Bytes entry_head(const AppFile& file) {
  Bytes head;
  append_name(head, file.name);
  append_size(head, file.size);
  return head;
}

}  // namespace

Failure compress_entries(const std::vector<AppFile>& files, const Compression& compression, Bytes* resource) {
  const uint64_t stream_size = entry_stream_size(files);
  WriterOptions options;
  options.level = compression.level;
  options.threads = compression.workers;
  options.checksum = compression.checksum;
  options.window_log = window_log_for(stream_size);
  PayloadCompressor compressor(options);

  ProgressBar progress("packing", stream_size);
  uint64_t done = 0;
  std::vector<uint8_t> slice(kReadSlice);
  for (const AppFile& file : files) {
    const Bytes head = entry_head(file);
    compressor.write(head.data(), head.size());
    std::unique_ptr<FILE, FileCloser> in(open_file(file.path, "rb"));
    if (!in) return fail(display_path(file.path), strerror(errno));
    uint64_t read = 0;
    for (;;) {
      const size_t got = fread(slice.data(), 1, slice.size(), in.get());
      if (got == 0) break;
      read += got;
      if (read > file.size) break;
      compressor.write(slice.data(), got);
      progress.update(done + head.size() + read);
    }
    if (ferror(in.get())) return fail(display_path(file.path), "it could not be read completely");
    if (read != file.size) return fail(display_path(file.path), "its size changed while it was being packed");
    done += head.size() + file.size;
    if (!compressor.ok()) break;
  }
  Bytes end;
  append_end_marker(end);
  compressor.write(end.data(), end.size());
  *resource = compressor.finish();
  if (!compressor.ok()) return fail("compression failed: " + compressor.error());
  progress.finish();
  return {};
}

}  // namespace tarvex::packer
