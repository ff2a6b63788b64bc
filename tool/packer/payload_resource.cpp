// Finding the payload among an image's resources, testing its signature, and naming
// what the reader found wrong with it.
#include "tool/packer/payload_resource.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>
#include <map>
#include <vector>

#include "diagnostics/messages.h"
#include "payload/entries.h"
#include "payload/format.h"
#include "pe/resource_tree.h"
#include "tool/file_io.h"
#include "tool/messages.h"
#include "tool/packer/entry_names.h"

namespace tarvex::packer {

Failure find_payload(const Bytes& file, PayloadView* payload) {
  pe::Image image;
  std::vector<pe::Resource> resources;
  TARVEX_TRY(pe::parse_image(file, &image));
  TARVEX_TRY(pe::read_resources(file, image, &resources));
  const pe::ResourceKey type = pe::ResourceKey::of_id(payload::kResourceType);
  const pe::ResourceKey id = pe::ResourceKey::of_id(payload::kResourceId);
  const pe::Resource* found = nullptr;
  for (const pe::Resource& r : resources) {
    if (!(r.type == type) || !(r.name == id)) continue;
    if (!found || r.language == pe::ResourceKey::of_id(payload::kResourceLanguage)) found = &r;
  }
  if (!found || found->size < payload::kSignatureSize ||
      memcmp(found->data, payload::kSignature, payload::kSignatureSize) != 0) {
    return Failure({}, tool_msg::kNothing, msg::kAttachedHeader);
  }
  *payload = {found->data, found->size};
  return {};
}

Failure load_packed_payload(const std::string& exe, Bytes* file, PayloadView* payload) {
  if (Failure f = read_whole_file(exe, file)) return about(f, tool_msg::kCannotRead, exe);
  if (Failure f = find_payload(*file, payload)) return about(f, tool_msg::kCannotRead, exe);
  return {};
}

PayloadStatus open_payload_view(PayloadReader& reader, const PayloadView& payload) {
  return reader.open(payload.data + payload::kSignatureSize, payload.size - payload::kSignatureSize);
}

std::string shown_entry_name(std::u16string entry) {
  for (char16_t& unit : entry)
    if (unit < 0x20) unit = u'?';
  return utf16_to_utf8(entry);
}

Failure check_spelling(std::map<std::u16string, std::u16string>& folded, const std::u16string& entry) {
  const auto [at, added] = folded.emplace(fold_case(entry), entry);
  if (added || at->second == entry) return {};
  return fail("its entry '" + shown_entry_name(entry) + "' differs from an earlier one only in letter case");
}

Failure check_payload_entry_names(const PayloadView& payload) {
  ScopedPayloadReader reader;
  if (payload.size < payload::kSignatureSize || !open_payload_view(reader, payload).ok()) return {};
  WideBuffer<payload::kMaxNameUnits + 1> name;
  std::map<std::u16string, std::u16string> folded;
  std::vector<uint8_t> slice(payload::kWriteSliceSize);
  uint64_t left = 0;
  // A stream that cannot be read further has no more names to refuse.
  while (next_entry_name(reader, name).ok() && !name.empty()) {
    const std::u16string entry = to_utf16(name.c_str(), name.size());
    if (Failure f = check_entry_name(entry)) return fail("its entry '" + shown_entry_name(entry) + "': " + f.reason);
    if (Failure f = check_spelling(folded, entry)) return f;
    if (!next_entry_size(reader, &left).ok()) return {};
    for (; left > 0;) {
      const size_t n = left < slice.size() ? static_cast<size_t>(left) : slice.size();
      if (!reader.read(slice.data(), n).ok()) return {};
      left -= n;
    }
  }
  return {};
}

Failure payload_failure(const std::string& exe, PayloadStatus status) {
  std::string reason;
  switch (status.failure) {
    case PayloadFailure::kNone:
      return {};
    case PayloadFailure::kNoMemory:
      reason = "out of memory";
      break;
    case PayloadFailure::kDecode:
      reason = std::string("damaged payload: ") + ZSTD_getErrorString(static_cast<ZSTD_ErrorCode>(status.zstd_error));
      break;
    case PayloadFailure::kTruncated:
      reason = "damaged payload: the data ends before the entries do";
      break;
    case PayloadFailure::kNameTooLong:
      reason = "damaged payload: an entry name is longer than " + std::to_string(payload::kMaxNameUnits) + " units";
      break;
  }
  return Failure(exe, tool_msg::kNothing, reason + " (" + payload_failure_message(status.failure) + ")");
}

}  // namespace tarvex::packer
