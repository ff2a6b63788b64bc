// Fuzz target: arbitrary bytes as a packed executable, read the way `tarvex list`
// reads one: the PE headers, the resource tree, the export names, the payload
// resource, and then the payload through the Launcher's reader and entry walk; a
// cache record (resource 28) through the reader the Launcher uses for it.
#include <string>
#include <vector>

#include "fuzz/fuzz_walk.h"
#include "payload/cache_record.h"
#include "payload/format.h"
#include "pe/pe_image.h"
#include "pe/resource_tree.h"
#include "tool/packer/payload_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tarvex::Bytes file(data, data + size);
  tarvex::pe::Image image;
  if (tarvex::pe::parse_image(file, &image)) return 0;
  std::vector<tarvex::pe::Resource> resources;
  (void)tarvex::pe::read_resources(file, image, &resources);
  for (const tarvex::pe::Resource& r : resources) {
    if (!(r.type == tarvex::pe::ResourceKey::of_id(tarvex::payload::kResourceType)) ||
        !(r.name == tarvex::pe::ResourceKey::of_id(tarvex::payload::kCacheRecordId)))
      continue;
    tarvex::payload::CacheRecordReader record;
    if (!record.open(r.data, r.size)) continue;
    tarvex::WideBuffer<tarvex::payload::kMaxCacheTemplateUnits + 1> folder;
    tarvex::WideBuffer<tarvex::payload::kMaxNameUnits + 1> name;
    uint64_t entry_size = 0;
    if (!record.read_template(folder)) __builtin_trap();  // open() admitted it, so it fits
    while (record.next_entry(name, &entry_size)) {
    }
  }
  std::vector<std::string> exports;
  (void)tarvex::pe::read_export_names(file, image, &exports);
  tarvex::packer::PayloadView payload;
  if (tarvex::packer::find_payload(file, &payload)) return 0;
  tarvex::fuzz::walk_payload(payload.data, payload.size, 16ull << 20);
  return 0;
}
