// Fuzz target: arbitrary bytes as a packed executable, read the way `tarvex list`
// reads one: the PE headers, the resource tree, the export names, the payload
// resource, and then the payload through the Launcher's reader and entry walk.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "diagnostics/report.h"
#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "tool/packer/payload_resource.h"
#include "tool/pe_image.h"
#include "tool/resource_tree.h"

namespace {

jmp_buf g_ended;
void jump_back(int) { longjmp(g_ended, 1); }

void walk(uint64_t budget) {
  static tarvex::WideBuffer<tarvex::payload::kMaxNameUnits + 1> name;
  static unsigned char slice[tarvex::payload::kWriteSliceSize];
  for (;;) {
    tarvex::read_entry_name(name);
    if (name.empty()) return;
    for (uint64_t size = tarvex::read_entry_size(); size > 0;) {
      uint64_t n = size < sizeof slice ? size : sizeof slice;
      if (n > budget) return;
      tarvex::read_payload(slice, n);
      budget -= n;
      size -= n;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!freopen("/dev/null", "w", stdout)) return 0;
  tarvex::set_exit_hook(jump_back);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tarvex::Bytes file(data, data + size);
  tarvex::pe::Image image;
  std::string error;
  if (!tarvex::pe::parse_image(file, &image, &error)) return 0;
  std::vector<tarvex::pe::Resource> resources;
  tarvex::pe::read_resources(file, image, &resources, &error);
  std::vector<std::string> exports;
  tarvex::pe::read_export_names(file, image, &exports, &error);
  tarvex::packer::PayloadView payload;
  if (tarvex::packer::find_payload(file, &payload, &error) != tarvex::packer::PayloadLookup::kFound) return 0;
  if (setjmp(g_ended) == 0) {
    tarvex::open_payload(payload.data + tarvex::payload::kSignatureSize, payload.size - tarvex::payload::kSignatureSize);
    walk(16ull << 20);
  }
  tarvex::close_payload();
  return 0;
}
