// Whether a text is well-formed XML: the check a replacement manifest passes first.
#pragma once
#include <string>

#include "pe/error.h"

namespace tarvex::pe {

// Checks `text` (UTF-8) as one XML document: a declaration, comments and processing
// instructions around exactly one root element; matched tags; quoted, unique
// attributes; only the predefined and numeric character references. A document type
// declaration is refused: a manifest has none. The failure says what is wrong and
// on which line.
Error check_xml(const std::string& text);

}  // namespace tarvex::pe
