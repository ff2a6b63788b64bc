// The system's text for an error number on the host: the C library's.
#include <cstring>

#include "diagnostics/report.h"

namespace tarvex {

const char* system_error_text(uint32_t error) { return strerror(static_cast<int>(error)); }

}  // namespace tarvex
