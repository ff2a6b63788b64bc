// Reading a program's look from its resources and headers.
#include "pe/program_look.h"

#include "pe/manifest.h"

namespace tarvex::pe {

namespace {

// The first icon group whose every image is present, rebuilt with images 1 to n.
bool read_icon_group(const std::vector<Resource>& resources, IconResources* icon) {
  for (const Resource& group : resources) {
    if (!(group.type == ResourceKey::of_id(kIconGroupType)) || group.size < sizeof(IconDirectory)) continue;
    const Bytes bytes(group.data, group.data + group.size);
    IconDirectory head;
    if (read_at(bytes, 0, &head, "the icon group") || head.count == 0 ||
        sizeof(IconDirectory) + size_t{head.count} * sizeof(IconGroupEntry) > bytes.size())
      continue;
    IconResources found;
    for (size_t i = 0; i < head.count; ++i) {
      IconGroupEntry entry;
      if (read_at(bytes, sizeof(IconDirectory) + i * sizeof(IconGroupEntry), &entry, "the icon group")) break;
      const Resource* image = nullptr;
      for (const Resource& r : resources)
        if (r.type == ResourceKey::of_id(kIconType) && r.name == ResourceKey::of_id(entry.id) &&
            (!image || r.language == group.language))
          image = &r;
      if (!image) break;
      IconImageHeader header = entry.image;
      header.bytes_in_resource = image->size;
      found.images.push_back({header, image->data, image->size});
    }
    if (found.images.size() != head.count) continue;
    found.group.resize(sizeof(IconDirectory) + found.images.size() * sizeof(IconGroupEntry));
    write_at(found.group, 0, IconDirectory{0, 1, head.count});
    for (size_t i = 0; i < found.images.size(); ++i)
      write_at(found.group, sizeof(IconDirectory) + i * sizeof(IconGroupEntry),
               IconGroupEntry{found.images[i].header, static_cast<uint16_t>(i + 1)});
    *icon = std::move(found);
    return true;
  }
  return false;
}

}  // namespace

Error read_program_look(const Bytes& program, ProgramLook* look) {
  *look = ProgramLook();
  Image image;
  TARVEX_TRY(parse_image(program, &image));
  look->subsystem = image.subsystem;
  std::vector<Resource> resources;
  TARVEX_TRY(read_resources(program, image, &resources));
  if (const Resource* version = find_version_resource(resources))
    look->has_version = !read_version_record(version->data, version->size, &look->version);
  look->has_icon = read_icon_group(resources, &look->icon);
  if (const Resource* manifest = find_manifest_resource(resources))
    look->execution_level = manifest_execution_level(manifest->data, manifest->size);
  return {};
}

}  // namespace tarvex::pe
