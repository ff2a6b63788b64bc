// Fuzz target: arbitrary bytes as a packed executable, read the way `tarvex list`
// reads one: the PE headers, the resource tree, the export names, the payload
// resource, and then the payload through the Launcher's reader and entry walk.
#include <string>
#include <vector>

#include "fuzz/fuzz_walk.h"
#include "tool/packer/payload_resource.h"
#include "tool/pe_image.h"
#include "tool/resource_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tarvex::Bytes file(data, data + size);
  tarvex::pe::Image image;
  if (tarvex::pe::parse_image(file, &image)) return 0;
  std::vector<tarvex::pe::Resource> resources;
  (void)tarvex::pe::read_resources(file, image, &resources);
  std::vector<std::string> exports;
  (void)tarvex::pe::read_export_names(file, image, &exports);
  tarvex::packer::PayloadView payload;
  if (tarvex::packer::find_payload(file, &payload)) return 0;
  tarvex::fuzz::walk_payload(payload.data, payload.size, 16ull << 20);
  return 0;
}
