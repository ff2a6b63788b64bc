// Test helper (host): tool, Windows programs and application folders.
#include "tests/support/host/packed_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "pe/icon_resources.h"
#include "tests/support/host/wine_run.h"
#include "tests/support/icon_builder.h"

namespace tarvex::packer_test {

namespace fs = std::filesystem;

TempDir::TempDir() : path(e2e::make_temp_dir("tarvex_pack")) {}
TempDir::~TempDir() { e2e::remove_tree(path); }

void copy_file(const std::string& from, const std::string& to) {
  fs::create_directories(fs::path(to).parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

void make_app(const std::string& dir) {
  copy_file(test_module_dll(), dir + "/app.dll");
  fs::create_directories(dir + "/data");
  e2e::write_file(dir + "/data/readme.txt", "read me\n");
  e2e::write_file(dir + "/data/empty.bin", "");
}

testing::CommandResult tarvex(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {tarvex_tool()};
  argv.insert(argv.end(), args.begin(), args.end());
  return testing::run_command(argv);
}

testing::CommandResult pack(const std::string& app, const std::string& out, const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"pack", app, "--main", "app.dll", "-o", out, "--launcher", launcher_exe()};
  args.insert(args.end(), extra.begin(), extra.end());
  if (std::find(extra.begin(), extra.end(), "--level") == extra.end()) args.insert(args.end(), {"--level", "3"});
  return tarvex(args);
}

void expect_icon(const std::string& exe, const Bytes& icon) {
  SCOPED_TRACE(exe);
  const Bytes file = file_bytes(exe);
  pe::Image image;
  std::vector<pe::Resource> resources;
  ASSERT_FALSE(pe::parse_image(file, &image));
  ASSERT_FALSE(pe::read_resources(file, image, &resources));
  std::vector<Bytes> groups, images;
  for (const pe::Resource& r : resources) {
    const bool group = r.type == pe::ResourceKey::of_id(pe::kIconGroupType);
    if (!group && !(r.type == pe::ResourceKey::of_id(pe::kIconType))) continue;
    const size_t expected_name = group ? 1 : images.size() + 1;  // the reader walks ids in ascending order
    EXPECT_TRUE(r.name == pe::ResourceKey::of_id(static_cast<uint32_t>(expected_name))) << r.name.id;
    EXPECT_TRUE(r.language == pe::ResourceKey::of_id(0)) << r.language.id;
    (group ? groups : images).push_back(Bytes(r.data, r.data + r.size));
  }
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_TRUE(groups[0] == testing::expected_icon_group(icon));
  ASSERT_EQ(images.size(), get16(icon, 4));
  for (size_t k = 0; k < images.size(); ++k) EXPECT_TRUE(images[k] == testing::icon_file_image(icon, k)) << k;
}

}  // namespace tarvex::packer_test
