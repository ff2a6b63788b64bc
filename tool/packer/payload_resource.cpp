// Finding the payload among an image's resources and testing its signature.
#include "tool/packer/payload_resource.h"

#include <cstring>
#include <vector>

#include "payload/format.h"
#include "tool/resource_tree.h"

namespace tarvex::packer {

PayloadLookup find_payload(const Bytes& file, PayloadView* payload, std::string* reason) {
  pe::Image image;
  std::vector<pe::Resource> resources;
  if (!pe::parse_image(file, &image, reason) || !pe::read_resources(file, image, &resources, reason))
    return PayloadLookup::kNoImage;
  const pe::ResourceKey type = pe::ResourceKey::of_id(payload::kResourceType);
  const pe::ResourceKey id = pe::ResourceKey::of_id(payload::kResourceId);
  const pe::Resource* found = nullptr;
  for (const pe::Resource& r : resources) {
    if (!(r.type == type) || !(r.name == id)) continue;
    if (!found || r.language == pe::ResourceKey::of_id(payload::kResourceLanguage)) found = &r;
  }
  if (!found || found->size < payload::kSignatureSize ||
      memcmp(found->data, payload::kSignature, payload::kSignatureSize) != 0)
    return PayloadLookup::kNoHeader;
  *payload = {found->data, found->size};
  return PayloadLookup::kFound;
}

}  // namespace tarvex::packer
