// `tarvex list`: every entry's size and name, the totals, the frame's parameters, the
// extraction mode and the executable's subsystem.
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader
#include <zstd.h>

#include <cinttypes>
#include <vector>

#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "pe/pe_image.h"
#include "pe/version_record.h"
#include "tool/packer/cache_mode.h"
#include "tool/packer/commands.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/host_paths.h"
#include "tool/packer/payload_resource.h"

namespace tarvex::packer {

namespace {

struct Listed {
  std::u16string name;
  uint64_t size;
};

// Every entry's name and size, read through the whole payload so that damage anywhere
// in it is found before anything is printed.
PayloadStatus list_entries(PayloadReader& reader, std::vector<Listed>* entries) {
  WideBuffer<payload::kMaxNameUnits + 1> name;
  std::vector<uint8_t> skip(payload::kReaderOutputSize);
  for (;;) {
    PayloadStatus status = next_entry_name(reader, name);
    if (!status.ok() || name.empty()) return status;
    uint64_t size = 0;
    status = next_entry_size(reader, &size);
    for (uint64_t left = size; status.ok() && left > 0;) {
      const uint64_t n = left < skip.size() ? left : skip.size();
      status = reader.read(skip.data(), n);
      left -= n;
    }
    if (!status.ok()) return status;
    entries->push_back({to_utf16(name.c_str(), name.size()), size});
  }
}

// The optional header's Subsystem field, as the loader and the shells read it.
std::string subsystem_name(const Bytes& file) {
  pe::Image image;
  if (pe::parse_image(file, &image)) return "unknown";
  switch (image.subsystem) {
    case pe::kSubsystemWindowsGui:
      return "Windows GUI (2)";
    case pe::kSubsystemWindowsCui:
      return "Windows console (3)";
    default:
      return std::to_string(image.subsystem);
  }
}

// The version record's version and texts, one line each; nothing without a record.
void print_version_record(const Bytes& file) {
  pe::Image image;
  std::vector<pe::Resource> resources;
  pe::VersionRecord record;
  if (pe::parse_image(file, &image) || pe::read_resources(file, image, &resources)) return;
  const pe::Resource* resource = pe::find_version_resource(resources);
  if (!resource || pe::read_version_record(resource->data, resource->size, &record)) return;
  printf("version %s\n", pe::fixed_product_version(record).c_str());
  const std::pair<const char*, const char16_t*> fields[] = {
      {"company", u"CompanyName"},      {"product", u"ProductName"},      {"description", u"FileDescription"},
      {"file version", u"FileVersion"}, {"copyright", u"LegalCopyright"}, {"original file name", u"OriginalFilename"}};
  for (const auto& [label, name] : fields)
    if (const std::u16string* value = pe::version_string(record, name))
      printf("%s %s\n", label, utf16_to_utf8(*value).c_str());
}

}  // namespace

int run_list(const std::string& exe_text) {
  const std::string exe = display_path(path_from_utf8(exe_text));
  Bytes file;
  PayloadView payload;
  if (Failure f = load_packed_payload(exe, &file, &payload)) return report(f);
  const uint8_t* frame = payload.data + payload::kSignatureSize;
  const size_t frame_area = payload.size - payload::kSignatureSize;

  std::vector<Listed> entries;
  ScopedPayloadReader reader;
  PayloadStatus status = open_payload_view(reader, payload);
  if (status.ok()) status = list_entries(reader, &entries);
  if (!status.ok()) return report(payload_failure(exe, status));

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
    printf(", frame %zu bytes, window %" PRIu64 " bytes, content checksum %s",
           ZSTD_findFrameCompressedSize(frame, frame_area), static_cast<uint64_t>(header.windowSize),
           header.checksumFlag ? "yes" : "no");
  printf("\n");
  printf("mode %s\n", describe_mode(file).c_str());
  printf("subsystem %s\n", subsystem_name(file).c_str());
  print_version_record(file);
  return 0;
}

}  // namespace tarvex::packer
