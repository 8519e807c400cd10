#include "db/database_file.h"

namespace pexo {

DatabaseFile::~DatabaseFile() = default;
DatabaseFileManager::~DatabaseFileManager() = default;

}  // namespace pexo
