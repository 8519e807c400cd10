#include "values/name_table.h"

#include "program/hash_section.h"
#include "values/string.h"

namespace pexo {

bool LoadNameTable(TaggedFile& file, NameTable* table, String* error) {
  return LoadNameTable(file, kVariableHashFormat, table, error);
}

bool LoadNameTable(TaggedFile& file, const HashSectionFormat& format, NameTable* table,
                   String* error) {
  HashSection section;
  if (!ReadHashSection(file, format, &section, error)) return false;
  table->bucket_bits = section.bucket_bits;
  table->buckets = std::move(section.buckets);
  table->names = std::move(section.names);
  table->next = std::move(section.next);
  return true;
}

}  // namespace pexo
