// DatabaseLibraries: where the database manager finds the descriptor table
// of an external database type. The host implements it over the configured
// database library list and the library loader; a library is loaded and
// its "pexo_database_library" entry called on the first use of its type,
// and the table is kept for the library's life.
#ifndef PEXO_DB_DATABASE_LIBRARIES_H_
#define PEXO_DB_DATABASE_LIBRARIES_H_

#include <cstdint>

#include "pexo/pexo.h"
#include "values/string.h"

namespace pexo {

class DatabaseLibraries {
 public:
  virtual ~DatabaseLibraries() = default;
  // The table of `type` (case-insensitive), or null with the message in
  // `error`: "Database type '<type>' is unsupported or not configured", the
  // loader's message, or "Unable to retrieve database descriptor table".
  virtual const PxDatabaseLibrary* Find(const char* type, int32_t length, String* error) = 0;
};

// The message for a type no library is configured for.
void UnsupportedDatabaseTypeMessage(const char* type, int32_t length, String* error);

}  // namespace pexo

#endif  // PEXO_DB_DATABASE_LIBRARIES_H_
