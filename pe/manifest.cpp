// Writing a manifest and reading a program's execution level.
#include "pe/manifest.h"

#include <algorithm>

namespace tarvex::pe {

namespace {

// What the Launcher's own manifest has always said beside the identity and the level.
constexpr char kDependency[] =
    "  <dependency>\n"
    "    <dependentAssembly>\n"
    "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"\n"
    "                        processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>\n"
    "    </dependentAssembly>\n"
    "  </dependency>\n";
constexpr char kCompatibility[] =
    "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\n"
    "    <application>\n"
    "      <supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\n"
    "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\n"
    "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\n"
    "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\n"
    "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\n"
    "    </application>\n"
    "  </compatibility>\n";

std::string dpi_settings(const std::string& dpi) {
  const std::string v2005 = "      <ws1:dpiAware xmlns:ws1=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">";
  if (dpi == "unaware") return v2005 + "false</ws1:dpiAware>\n";
  if (dpi == "system") return v2005 + "true</ws1:dpiAware>\n";
  if (dpi == "permonitorv2")
    return v2005 + "true/pm</ws1:dpiAware>\n" + "      <ws2:dpiAwareness>PerMonitorV2, PerMonitor</ws2:dpiAwareness>\n";
  return {};
}

}  // namespace

std::string assembly_name(const std::u16string& product) {
  std::string name;
  for (char16_t c : product) {
    const bool keep = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
                      c == u'-' || c == u'_';
    name += keep ? static_cast<char>(c) : '_';
  }
  if (std::all_of(name.begin(), name.end(), [](char c) { return c == '_' || c == '.'; })) return "Application";
  return name;
}

std::string build_manifest(const ManifestSettings& s) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\" "
         "xmlns:asmv3=\"urn:schemas-microsoft-com:asm.v3\">\n"
         "  <assemblyIdentity type=\"win32\" name=\"" +
         assembly_name(s.product) + "\" version=\"" + s.version +
         "\" processorArchitecture=\"amd64\"/>\n"
         "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
         "    <security>\n"
         "      <requestedPrivileges>\n"
         "        <requestedExecutionLevel level=\"" +
         s.execution_level +
         "\" uiAccess=\"false\"/>\n"
         "      </requestedPrivileges>\n"
         "    </security>\n"
         "  </trustInfo>\n" +
         kDependency + kCompatibility +
         "  <asmv3:application>\n"
         "    <asmv3:windowsSettings xmlns:ws2=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">\n"
         "      <ws2:longPathAware>true</ws2:longPathAware>\n" +
         dpi_settings(s.dpi_aware) +
         "    </asmv3:windowsSettings>\n"
         "  </asmv3:application>\n"
         "</assembly>\n";
}

std::string manifest_execution_level(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t element = text.find("requestedExecutionLevel");
  if (element == std::string::npos) return {};
  const size_t close = text.find('>', element);
  const size_t attribute = text.find("level", element + 23);
  if (attribute == std::string::npos || attribute > close) return {};
  const size_t quote = text.find_first_of("\"'", attribute);
  if (quote == std::string::npos || quote > close) return {};
  const size_t end = text.find(text[quote], quote + 1);
  if (end == std::string::npos) return {};
  const std::string level = text.substr(quote + 1, end - quote - 1);
  return level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator" ? level : "";
}

const Resource* find_manifest_resource(const std::vector<Resource>& resources) {
  for (const Resource& r : resources)
    if (r.type == ResourceKey::of_id(kManifestType)) return &r;
  return nullptr;
}

void replace_manifest_resource(std::vector<Resource>& resources, const std::string& manifest) {
  const Resource* old = find_manifest_resource(resources);
  Resource added{ResourceKey::of_id(kManifestType),
                 ResourceKey::of_id(1),
                 ResourceKey::of_id(0),
                 0,
                 reinterpret_cast<const uint8_t*>(manifest.data()),
                 static_cast<uint32_t>(manifest.size())};
  if (old) {
    added.name = old->name;
    added.language = old->language;
  }
  resources.erase(std::remove_if(resources.begin(), resources.end(),
                                 [](const Resource& r) { return r.type == ResourceKey::of_id(kManifestType); }),
                  resources.end());
  resources.push_back(added);
}

}  // namespace tarvex::pe
