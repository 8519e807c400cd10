// Field descriptors from arbitrary bytes behind a header that agrees with
// the file: the first two bytes are the record length, the rest the
// descriptors; three records of filler follow.
#include <cstddef>
#include <cstdint>
#include <string>

#include "memory_database_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 60000) return 0;
  int record_length = data[0] | data[1] << 8;
  std::string descriptors(reinterpret_cast<const char*>(data) + 2, size - 2);
  int header_length = 32 + static_cast<int>(descriptors.size());
  std::string header(32, '\0');
  header[0] = static_cast<char>(0x83);
  header[4] = 3;
  header[8] = static_cast<char>(header_length);
  header[9] = static_cast<char>(header_length >> 8);
  header[10] = static_cast<char>(record_length);
  header[11] = static_cast<char>(record_length >> 8);
  std::string records(3 * static_cast<size_t>(record_length), '1');
  pexo::MemoryDatabaseFileManager files;
  files.files["t.dbf"] = header + descriptors + records + "\x1a";
  std::string memo(512, '\0');
  memo[0] = 2;
  files.files["t.dbt"] = memo + std::string("text\x1a\x1a", 6);
  pexo::ExerciseTable(&files);
  return 0;
}
