// Benchmark driver for the payload reader.
//   reader_bench stream DIR OUT     writes the entry stream of every file below DIR
//   reader_bench read FRAME         walks the entry stream in FRAME (a Zstandard
//                                   frame) the way the Launcher does: names unit by
//                                   unit, sizes, content in 32768-byte slices; prints
//                                   the seconds it took and the bytes it delivered
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/format.h"
#include "payload/reader.h"
#include "payload/writer.h"

namespace fs = std::filesystem;
using namespace tarvex;

static int make_stream(const char* dir, const char* out_path) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  FILE* out = fopen(out_path, "wb");
  if (!out) return 1;
  std::vector<char> buffer(1 << 20);
  for (const auto& f : files) {
    std::string rel = fs::relative(f, dir).string();
    std::u16string name;
    for (char c : rel) name += c == '/' ? u'\\' : static_cast<char16_t>(static_cast<unsigned char>(c));
    Bytes head;
    append_name(head, name);
    append_size(head, fs::file_size(f));
    fwrite(head.data(), 1, head.size(), out);
    FILE* in = fopen(f.c_str(), "rb");
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), in)) > 0) fwrite(buffer.data(), 1, n, out);
    fclose(in);
  }
  Bytes end;
  append_end_marker(end);
  fwrite(end.data(), 1, end.size(), out);
  fclose(out);
  printf("%zu files\n", files.size());
  return 0;
}

static int read_stream(const char* frame_path) {
  int fd = open(frame_path, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  void* data = mmap(nullptr, st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
  auto start = std::chrono::steady_clock::now();
  PayloadReader reader;
  PayloadStatus status = reader.open(data, st.st_size);
  static unsigned char slice[payload::kWriteSliceSize];
  uint64_t delivered = 0, files = 0;
  auto read = [&](void* out, uint64_t n) {
    if (status.ok()) status = reader.read(out, n);
    return status.ok();
  };
  while (status.ok()) {
    unsigned char unit[2];
    size_t units = 0;
    do {
      if (!read(unit, 2)) break;
      ++units;
    } while (unit[0] | unit[1]);
    delivered += 2 * units;
    if (units == 1) break;
    unsigned char size_bytes[8];
    if (!read(size_bytes, 8)) break;
    uint64_t size = 0;
    for (int i = 7; i >= 0; --i) size = size << 8 | size_bytes[i];
    delivered += 8 + size;
    ++files;
    while (size > 0) {
      uint64_t n = size < sizeof slice ? size : sizeof slice;
      if (!read(slice, n)) break;
      size -= n;
    }
  }
  reader.close();
  if (!status.ok()) {
    fprintf(stderr, "%s\n", payload_failure_message(status.failure));
    return 2;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printf("%.3f seconds, %llu bytes, %llu files\n", seconds, static_cast<unsigned long long>(delivered),
         static_cast<unsigned long long>(files));
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "stream") return make_stream(argv[2], argv[3]);
  if (argc == 3 && std::string(argv[1]) == "read") return read_stream(argv[2]);
  fprintf(stderr, "usage: reader_bench stream DIR OUT | reader_bench read FRAME\n");
  return 2;
}
