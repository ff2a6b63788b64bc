// The --main module and Launcher checks over the PE image reader.
#include "tool/packer/module_check.h"

#include <algorithm>
#include <vector>


namespace tarvex::packer {

namespace {

constexpr size_t kCoffCharacteristics = 18;
constexpr uint16_t kFileDll = 0x2000;

bool is_dll(const Bytes& file, const pe::Image& image) {
  return (pe::get16(file, image.coff_header + kCoffCharacteristics) & kFileDll) != 0;
}

}  // namespace

bool check_main_module(const Bytes& file, std::string* reason) {
  pe::Image image;
  if (!pe::parse_image(file, &image, reason)) return false;
  if (!is_dll(file, image)) {
    *reason = "it is a program, not a DLL";
    return false;
  }
  std::vector<std::string> exports;
  if (!pe::read_export_names(file, image, &exports, reason)) return false;
  if (std::find(exports.begin(), exports.end(), kEntryPointName) == exports.end()) {
    *reason = std::string("it does not export ") + kEntryPointName;
    return false;
  }
  return true;
}

bool check_launcher_image(const Bytes& file, std::string* reason) {
  pe::Image image;
  if (!pe::parse_image(file, &image, reason)) return false;
  if (is_dll(file, image)) {
    *reason = "it is a DLL, not a program";
    return false;
  }
  if (image.directory(pe::kCertificateDirectory).present()) {
    *reason = "it carries an Authenticode signature, which would no longer match (sign after packing)";
    return false;
  }
  return true;
}

}  // namespace tarvex::packer
