// Rebuilding the resources of a PE32+ x86-64 image, and storing a payload as its
// resource RT_RCDATA 27.
#pragma once
#include <functional>
#include <vector>

#include "pe/pe_image.h"
#include "pe/resource_tree.h"

namespace tarvex::pe {

// Changes the resource list of an image before its tree is rebuilt. What it adds points
// to bytes that the caller keeps alive until the rebuild is done.
using ResourceEdit = std::function<Error(std::vector<Resource>& resources)>;

// Writes to `out` a copy of `image` holding the image's resources as `edit` leaves them.
// The resource tree is rebuilt in the last section when that section is the image's
// own resource section, and otherwise in a new section appended after the last one.
// On refusal `out` is left empty.
Error rebuild_resources(const Bytes& image, const ResourceEdit& edit, Bytes* out);

// The edit that stores a payload: resource RT_RCDATA 27, language neutral, holds
// `payload`; resource 27 in any other language, and a cache record (RT_RCDATA 28
// starting with the record's magic) in any language, is removed.
Error put_payload(std::vector<Resource>& resources, const Bytes& payload);

// The edit that stores a cache record as RT_RCDATA 28, language neutral, replacing
// any in every language. After put_payload, which removes it.
Error put_cache_record(std::vector<Resource>& resources, const Bytes& record);

// rebuild_resources with put_payload alone: every other resource is kept.
Error attach_payload(const Bytes& image, const Bytes& payload, Bytes* out);

}  // namespace tarvex::pe
