// Expressions over a table's current record (filters and index keys):
// compiled in the running program with the database's name as the "d."
// alias, and evaluated on a stack of their own so the caller's operands stay
// untouched.
#ifndef PEXO_DB_XBASE_XBASE_EXPRESSION_H_
#define PEXO_DB_XBASE_XBASE_EXPRESSION_H_

#include <string>

#include "values/string.h"

namespace pexo {

class ExternalFunctionResolver;
class PexoVM;
class Segment;

// Compiles `text`; on failure `error` is `prefix` + the compiler's message.
bool CompileDatabaseExpression(PexoVM* vm, ExternalFunctionResolver* externals,
                               const String& alias, const String& text, const char* prefix,
                               Segment** segment, String* error);
// Runs `segment` and takes its value as text.
bool EvaluateDatabaseExpression(PexoVM* vm, Segment* segment, std::string* value, String* error);
// Runs `segment` and takes its truth.
bool TestDatabaseExpression(PexoVM* vm, Segment* segment, bool* value, String* error);

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_EXPRESSION_H_
