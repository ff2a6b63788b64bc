// A packed file's look worked out from the options and from a program given as --main,
// and the well-formedness check of a replacement manifest.
#include <gtest/gtest.h>

#include "pe/xml_check.h"
#include "tests/support/host/packed_files.h"
#include "tool/packer/shipper_look.h"

namespace tarvex::packer_test {
namespace {

using packer::PackOptions;

std::string text_of(const pe::VersionRecord& record, const std::u16string& name) {
  const std::u16string* value = pe::version_string(record, name);
  return value ? std::string(value->begin(), value->end()) : "(none)";
}

TEST(ShipperLook, AProgramLendsItsRecordIconSubsystemAndLevelAndOptionsWin) {
  const Bytes program = file_bytes(windows_program("tests/tool/tool_rich.exe"));
  pe::ProgramLook look;
  ASSERT_FALSE(pe::read_program_look(program, &look));
  ASSERT_TRUE(look.has_version && look.has_icon);
  EXPECT_EQ(look.subsystem, pe::kSubsystemWindowsCui);
  EXPECT_EQ(look.execution_level, "asInvoker");
  pe::IconResources own;
  const Bytes ico = file_bytes(e2e::source_dir() + "/tests/tool/test_icon.ico");
  ASSERT_FALSE(pe::read_icon_file(ico, &own));
  ASSERT_EQ(look.icon.images.size(), own.images.size());
  EXPECT_EQ(look.icon.group, own.group);
  look.execution_level = "requireAdministrator";  // as a program that needs elevation asks

  struct Row {
    const char* label;
    std::vector<std::pair<std::string PackOptions::*, std::string>> set;
    const char *product, *company, *description, *version, *level;
    bool from_program = true;  // false: a DLL main, which lends nothing
  } rows[] = {
      {"the program's own", {}, "Resource keeper", "Tarvex tests", "(none)", "1.2.3.4", "requireAdministrator"},
      {"options win",
       {{&PackOptions::product, "Mine"},
        {&PackOptions::app_version, "9.8.7.6"},
        {&PackOptions::execution_level, "asInvoker"}},
       "Mine",
       "Tarvex tests",
       "Mine",
       "9.8.7.6",
       "asInvoker"},
      {"a record from a file, one field overridden",
       {{&PackOptions::version_from, windows_program("tests/tool/tool_rich.exe")}, {&PackOptions::description, "Told"}},
       "Resource keeper",
       "Tarvex tests",
       "Told",
       "1.2.3.4",
       "asInvoker",
       false},
      {"a record made anew", {}, "out", "(none)", "out", "1.0.0.0", "asInvoker", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    PackOptions options;
    for (const auto& [field, value] : row.set) options.*field = value;
    packer::ShipperLook made;
    ASSERT_FALSE(packer::make_shipper_look(options, row.from_program ? &look : nullptr, "out.exe", &made));
    pe::VersionRecord record;
    ASSERT_FALSE(pe::read_version_record(made.version.data(), made.version.size(), &record));
    EXPECT_EQ(text_of(record, u"ProductName"), row.product);
    EXPECT_EQ(text_of(record, u"CompanyName"), row.company);
    EXPECT_EQ(text_of(record, u"FileDescription"), row.description);
    EXPECT_EQ(text_of(record, u"OriginalFilename"), "out.exe");
    EXPECT_EQ(pe::fixed_product_version(record), row.version);
    EXPECT_TRUE(has(made.manifest, std::string("level=\"") + row.level + "\"")) << made.manifest;
    EXPECT_EQ(made.has_icon, row.from_program);
    if (row.from_program) {
      EXPECT_EQ(made.icon.group, own.group);
    }
    EXPECT_EQ(made.subsystem, row.from_program ? pe::kSubsystemWindowsCui : pe::kSubsystemWindowsGui);
  }
}

TEST(ManifestCheck, OnlyWellFormedXmlPasses) {
  struct Row {
    const char* text;
    const char* refusal;  // null: accepted
  } rows[] = {
      {"<?xml version=\"1.0\"?>\n<!-- c --><a x='1' y=\"&amp;&#x41;\"><b/>t<![CDATA[<]]></a>\n", nullptr},
      {"<a><b></a></b>", "does not match its start tag"},
      {"<a x=1/>", "without quotes"},
      {"<a x='1' x='2'/>", "'x' twice"},
      {"<a>&nbsp;</a>", "bad character reference"},
      {"<a/><b/>", "more than one root"},
      {"<a>", "'a' is not closed"},
      {"<!DOCTYPE a><a/>", "document type"},
      {"text", "outside the root"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Failure f = pe::check_xml(row.text);
    EXPECT_EQ(static_cast<bool>(f), row.refusal != nullptr) << f.reason;
    if (row.refusal) {
      EXPECT_TRUE(has(f.reason, row.refusal)) << f.reason;
    }
  }
}

}  // namespace
}  // namespace tarvex::packer_test
