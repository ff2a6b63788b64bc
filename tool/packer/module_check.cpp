// The --main module and Launcher checks over the PE image reader.
#include "tool/packer/module_check.h"

#include <algorithm>
#include <vector>

namespace tarvex::packer {

namespace {

bool is_dll(const pe::Image& image) { return (image.characteristics & pe::kFileDll) != 0; }

}  // namespace

Failure check_main_module(const Bytes& file) {
  pe::Image image;
  TARVEX_TRY(pe::parse_image(file, &image));
  // A program runs as a process of its own; parse_image has made sure it is x86-64.
  if (!is_dll(image)) return {};
  std::vector<std::string> exports;
  TARVEX_TRY(pe::read_export_names(file, image, &exports));
  if (std::find(exports.begin(), exports.end(), kEntryPointName) == exports.end())
    return fail(std::string("it does not export ") + kEntryPointName);
  return {};
}

Failure check_launcher_image(const Bytes& file) {
  pe::Image image;
  TARVEX_TRY(pe::parse_image(file, &image));
  if (is_dll(image)) return fail("it is a DLL, not a program");
  if (image.directory(pe::kCertificateDirectory).present())
    return fail("it carries an Authenticode signature, which would no longer match (sign after packing)");
  return {};
}

}  // namespace tarvex::packer
