// Laying down a resource section: tables, strings, data entries, data.
#include "pe/resource_tree.h"

#include <algorithm>

namespace tarvex::pe {

namespace {

// Where each piece of a new resource section goes, worked out once for both the size
// and the writing.
struct Layout {
  struct Leaf {
    size_t resource;
    size_t entry_offset = 0;
    size_t data_offset = 0;
  };
  struct NameDir {
    size_t offset = 0;
    std::vector<Leaf> leaves;  // one per language
  };
  struct TypeDir {
    size_t offset = 0;
    std::vector<NameDir> names;
  };
  std::vector<TypeDir> types;
  std::vector<size_t> string_offsets;  // in the order the keys are written
  uint64_t size = 0;
};

bool same_leaf_group(const Resource& a, const Resource& b) { return a.type == b.type && a.name == b.name; }

Layout plan(const std::vector<Resource>& resources) {
  std::vector<size_t> order(resources.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    const Resource& a = resources[x];
    const Resource& b = resources[y];
    if (!(a.type == b.type)) return key_before(a.type, b.type);
    if (!(a.name == b.name)) return key_before(a.name, b.name);
    return key_before(a.language, b.language);
  });

  Layout layout;
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t i = order[k];
    const bool new_type = k == 0 || !(resources[order[k - 1]].type == resources[i].type);
    if (new_type) layout.types.emplace_back();
    auto& names = layout.types.back().names;
    if (new_type || !same_leaf_group(resources[order[k - 1]], resources[i])) names.emplace_back();
    names.back().leaves.push_back({i});
  }

  // Tables breadth first: the root, every type's name table, every name's language table.
  uint64_t at = sizeof(ResourceDirectoryTable) + layout.types.size() * sizeof(ResourceDirectoryEntry);
  for (auto& t : layout.types) {
    t.offset = at;
    at += sizeof(ResourceDirectoryTable) + t.names.size() * sizeof(ResourceDirectoryEntry);
  }
  for (auto& t : layout.types)
    for (auto& n : t.names) {
      n.offset = at;
      at += sizeof(ResourceDirectoryTable) + n.leaves.size() * sizeof(ResourceDirectoryEntry);
    }
  // Strings (PE Format, Resource Directory String): a 16-bit length and the UTF-16
  // units, in the order the entries name them.
  auto add_string = [&](const ResourceKey& key) {
    if (!key.named) return;
    layout.string_offsets.push_back(at);
    at += 2 + 2 * key.text.size();
  };
  for (auto& t : layout.types) add_string(resources[t.names[0].leaves[0].resource].type);
  for (auto& t : layout.types)
    for (auto& n : t.names) add_string(resources[n.leaves[0].resource].name);
  for (auto& t : layout.types)
    for (auto& n : t.names)
      for (auto& leaf : n.leaves) add_string(resources[leaf.resource].language);
  at = align_up(at, 8);
  for (auto& t : layout.types)
    for (auto& n : t.names)
      for (auto& leaf : n.leaves) {
        leaf.entry_offset = at;
        at += sizeof(ResourceDataEntry);
      }
  for (auto& t : layout.types)
    for (auto& n : t.names)
      for (auto& leaf : n.leaves) {
        at = align_up(at, 8);
        leaf.data_offset = at;
        // An empty item still gets a byte, so that its address lies inside the section
        // (binutils refuses an address at the section's end).
        at += std::max<uint32_t>(resources[leaf.resource].size, 1);
      }
  layout.size = align_up(at, 8);
  return layout;
}

}  // namespace

bool resource_tables_fit(const std::vector<Resource>& resources) {
  const Layout layout = plan(resources);
  auto fits = [](const auto& list, auto key_of) {
    size_t named = 0;
    for (const auto& item : list) named += key_of(item).named ? 1 : 0;
    return named <= 0xFFFF && list.size() - named <= 0xFFFF;
  };
  auto first = [&](const Layout::NameDir& n) -> const Resource& { return resources[n.leaves[0].resource]; };
  if (!fits(layout.types, [&](const Layout::TypeDir& t) -> const ResourceKey& { return first(t.names[0]).type; }))
    return false;
  for (const auto& t : layout.types) {
    if (!fits(t.names, [&](const Layout::NameDir& n) -> const ResourceKey& { return first(n).name; })) return false;
    for (const auto& n : t.names)
      if (!fits(n.leaves, [&](const Layout::Leaf& l) -> const ResourceKey& { return resources[l.resource].language; }))
        return false;
  }
  return true;
}

uint64_t resource_section_size(const std::vector<Resource>& resources) { return plan(resources).size; }

void build_resource_section(const std::vector<Resource>& resources, uint32_t section_rva, Bytes* out) {
  const Layout layout = plan(resources);
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(layout.size), 0);
  Bytes& b = *out;
  size_t next_string = 0;
  auto key_field = [&](const ResourceKey& key) -> uint32_t {
    if (!key.named) return key.id;
    const size_t offset = layout.string_offsets[next_string++];
    write_at(b, start + offset, le16(static_cast<uint16_t>(key.text.size())));
    for (size_t k = 0; k < key.text.size(); ++k) write_at(b, start + offset + 2 + 2 * k, le16(key.text[k]));
    return kHighBit | static_cast<uint32_t>(offset);
  };
  auto header = [&](size_t offset, const std::vector<const ResourceKey*>& keys) {
    ResourceDirectoryTable table;
    uint16_t named = 0;
    for (const ResourceKey* key : keys) named += key->named ? 1 : 0;
    table.number_of_name_entries = named;
    table.number_of_id_entries = static_cast<uint16_t>(keys.size() - named);
    write_at(b, start + offset, table);
  };
  auto entry = [&](size_t table, size_t index, uint32_t name_field, uint32_t target) {
    const size_t at = start + table + sizeof(ResourceDirectoryTable) + index * sizeof(ResourceDirectoryEntry);
    write_at(b, at, ResourceDirectoryEntry{name_field, target});
  };

  // Strings are taken in the same order plan() placed them: type names, then names, then languages.
  std::vector<const ResourceKey*> keys;
  for (const auto& t : layout.types) keys.push_back(&resources[t.names[0].leaves[0].resource].type);
  header(0, keys);
  for (size_t ti = 0; ti < layout.types.size(); ++ti)
    entry(0, ti, key_field(*keys[ti]), kHighBit | static_cast<uint32_t>(layout.types[ti].offset));
  for (const auto& t : layout.types) {
    keys.clear();
    for (const auto& n : t.names) keys.push_back(&resources[n.leaves[0].resource].name);
    header(t.offset, keys);
    for (size_t ni = 0; ni < t.names.size(); ++ni)
      entry(t.offset, ni, key_field(*keys[ni]), kHighBit | static_cast<uint32_t>(t.names[ni].offset));
  }
  for (const auto& t : layout.types)
    for (const auto& n : t.names) {
      keys.clear();
      for (const auto& leaf : n.leaves) keys.push_back(&resources[leaf.resource].language);
      header(n.offset, keys);
      for (size_t li = 0; li < n.leaves.size(); ++li)
        entry(n.offset, li, key_field(*keys[li]), static_cast<uint32_t>(n.leaves[li].entry_offset));
    }
  for (const auto& t : layout.types)
    for (const auto& n : t.names)
      for (const auto& leaf : n.leaves) {
        const Resource& r = resources[leaf.resource];
        write_at(b, start + leaf.entry_offset,
                 ResourceDataEntry{section_rva + static_cast<uint32_t>(leaf.data_offset), r.size, r.code_page, 0});
        if (r.size) std::copy(r.data, r.data + r.size, b.begin() + start + leaf.data_offset);
      }
}

}  // namespace tarvex::pe
