// Opens arbitrary bytes as an xBase table (with an empty memo file beside
// it) and reads, appends and re-reads records: a hostile header is an error
// message, never a crash, a huge allocation or a read past the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "memory_database_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pexo::MemoryDatabaseFileManager files;
  files.files["t.dbf"] = std::string(reinterpret_cast<const char*>(data), size);
  std::string memo(512, '\0');
  memo[0] = 1;
  files.files["t.dbt"] = memo + "\x1a";
  pexo::ExerciseTable(&files);
  return 0;
}
