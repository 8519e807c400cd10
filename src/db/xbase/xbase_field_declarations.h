// The field declarations of a table to create: comma-separated
// declarations "name type", where type is CHAR(n), NUMBER, NUMBER(i),
// NUMBER(i.d), DATE, BOOL or MEMO, recognised by their first letters in any
// case. Names are kept upper-cased. The first error ends the parse.
#ifndef PEXO_DB_XBASE_XBASE_FIELD_DECLARATIONS_H_
#define PEXO_DB_XBASE_XBASE_FIELD_DECLARATIONS_H_

#include <cstdint>
#include <vector>

#include "db/xbase/xbase_table.h"
#include "values/string.h"

namespace pexo {

// The fields of `text`, or false with the message in `error`.
bool ParseFieldDeclarations(const char* text, int32_t length,
                             std::vector<XBaseFieldDefinition>* fields, String* error);

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_FIELD_DECLARATIONS_H_
