// A memo file of arbitrary bytes behind a table of four records whose memo
// block numbers are 0, 1, 2 and a huge one: reading and appending memos is
// an error message at worst, and never writes far past the end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "memory_database_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string header(32, '\0');
  header[0] = static_cast<char>(0x83);
  header[4] = 4;
  header[8] = 65;  // one descriptor
  header[10] = 11;
  std::string descriptor(32, '\0');
  descriptor.replace(0, 4, "NOTE");
  descriptor[11] = 'M';
  descriptor[16] = 10;
  std::string records = std::string(" ") + "         0" + " " + "         1" + " " +
                        "         2" + " " + "2147483647";
  pexo::MemoryDatabaseFileManager files;
  files.files["t.dbf"] = header + descriptor + "\x0d" + records + "\x1a";
  files.files["t.dbt"] = std::string(reinterpret_cast<const char*>(data), size);
  pexo::ExerciseTable(&files);
  return 0;
}
