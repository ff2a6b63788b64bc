// `tarvex list`: every entry's size and name, the totals, and the frame's parameters.
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader
#include <zstd.h>

#include <cinttypes>
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
#include "tool/packer/reader_session.h"

namespace tarvex::packer {

namespace {

struct Listed {
  std::u16string name;
  uint64_t size;
};

}  // namespace

int run_list(const std::string& exe_text) {
  const std::string exe = display_path(path_from_utf8(exe_text));
  Bytes file;
  PayloadView payload;
  if (!load_packed_payload(exe, &file, &payload)) return 2;
  const uint8_t* frame = payload.data + payload::kSignatureSize;
  const size_t frame_area = payload.size - payload::kSignatureSize;

  std::vector<Listed> entries;
  begin_reader_session(exe, nullptr);
  open_payload(frame, frame_area);
  WideBuffer<payload::kMaxNameUnits + 1> name;
  std::vector<uint8_t> skip(payload::kReaderOutputSize);
  for (;;) {
    read_entry_name(name);
    if (name.empty()) break;
    const uint64_t size = read_entry_size();
    for (uint64_t left = size; left > 0;) {
      const uint64_t n = left < skip.size() ? left : skip.size();
      read_payload(skip.data(), n);
      left -= n;
    }
    entries.push_back({to_utf16(name.c_str(), name.size()), size});
  }
  close_payload();
  end_reader_session();

  uint64_t total = 0;
  for (const Listed& e : entries) {
    printf("%12" PRIu64 "  %s\n", e.size, utf16_to_utf8(e.name).c_str());
    total += e.size;
  }
  printf("%zu entries, %" PRIu64 " bytes\n", entries.size(), total);
  ZSTD_frameHeader header;
  const bool known = ZSTD_getFrameHeader(&header, frame, frame_area) == 0 && header.frameType == ZSTD_frame;
  printf("payload %zu bytes", payload.size);
  if (known)
    printf(", frame %zu bytes, window %" PRIu64 " bytes, content checksum %s", ZSTD_findFrameCompressedSize(frame, frame_area),
           static_cast<uint64_t>(header.windowSize),
           header.checksumFlag ? "yes" : "no");
  printf("\n");
  return 0;
}

}  // namespace tarvex::packer
