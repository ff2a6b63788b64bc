// The template scanner: literals are copied, {NAME} references replaced by values.
#include "paths/expand.h"

#include "paths/variables.h"
#include "support/capacities.h"
#include "support/wide_buffer.h"

namespace tarvex {

Expansion expand_path_spec(wchar_t* out_storage, const wchar_t* spec, size_t capacity) {
  WideText out(out_storage, capacity);
  WideBuffer<kTemplateNameCapacity> name;
  bool in_name = false;
  for (const wchar_t* p = spec; *p; ++p) {
    if (*p == L'{') {
      // A second "{" forgets the name begun so far: a{b{PID} is a, then {PID}.
      name.clear();
      in_name = true;
    } else if (*p == L'}') {
      if (!in_name) return Expansion::kInvalid;
      in_name = false;
      const Expansion appended = append_variable(name.c_str(), out);
      if (appended != Expansion::kDone) return appended;
    } else if (in_name) {
      if (!name.try_append(*p)) return Expansion::kInvalid;
    } else if (!out.try_append(*p)) {
      return Expansion::kInvalid;
    }
  }
  // A reference still open here is dropped: abc{TEMP gives abc.
  return Expansion::kDone;
}

}  // namespace tarvex
