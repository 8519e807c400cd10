// Parses arbitrary bytes as the field declarations of a table to create
// and checks what an accepted one promises: upper-case names of 1 to 10
// characters, each once, and lengths a table can hold.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "db/xbase/xbase_field_declarations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  std::vector<pexo::XBaseFieldDefinition> fields;
  pexo::String error;
  if (!pexo::ParseFieldDeclarations(reinterpret_cast<const char*>(data),
                                     static_cast<int32_t>(size), &fields, &error)) {
    if (error.empty() || !fields.empty()) std::abort();
    return 0;
  }
  if (fields.empty()) std::abort();
  for (size_t i = 0; i < fields.size(); ++i) {
    const pexo::XBaseFieldDefinition& f = fields[i];
    if (f.name.length() < 1 || f.name.length() > 10) std::abort();
    for (int32_t c = 0; c < f.name.length(); ++c)
      if (std::islower(static_cast<unsigned char>(f.name.data()[c]))) std::abort();
    for (size_t j = 0; j < i; ++j)
      if (fields[j].name.equals_nocase(f.name.data(), f.name.length())) std::abort();
    if (f.length < 0 || f.length > 254 || (f.type == pexo::kXBaseNumeric && f.length > 19))
      std::abort();
  }
  return 0;
}
