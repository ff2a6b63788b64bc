// The executable's own name, company and version, read from its version record (its
// RT_VERSION resource, without version.dll), with the compiled-in values as fallback.
#pragma once

#include "support/wide_buffer.h"

namespace tarvex {

enum class OwnField { kCompany, kProduct, kVersion };

// The field as the record holds it: CompanyName, ProductName, and the fixed product
// version as "A.B.C.D". A field that is missing, empty or longer than 255 characters
// gives the compiled-in value.
const wchar_t* own_version_field(OwnField field);

// Appends the field as a folder name: control characters, the characters a Windows
// name cannot hold, and trailing dots and spaces each become '_', so that the value
// stays one folder wherever a template puts it. False when it does not fit.
bool append_own_folder_name(OwnField field, WideText& out);

}  // namespace tarvex
