// Opens arbitrary bytes as an index file and searches, walks both ways,
// inserts, deletes and checks it: a hostile header or page is an error
// message, never a crash, a read past a page, a huge allocation or an
// endless walk over a page cycle.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/xbase/xbase_index_check.h"
#include "db/xbase/xbase_index_file.h"
#include "memory_database_file.h"

namespace {

void Expect(bool ok, const pexo::XBaseIndexFile& index) {
  if (!ok && index.ErrorText().empty()) std::abort();
}

// Walks at most `limit` steps in one direction.
void Walk(pexo::XBaseIndexFile* index, bool forward, int limit) {
  uint32_t record = 0;
  bool ok = forward ? index->First(&record) : index->Last(&record);
  Expect(ok, *index);
  for (int i = 0; ok && record != 0 && i < limit; ++i) {
    ok = forward ? index->Next(&record) : index->Previous(&record);
    Expect(ok, *index);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Bounded: the header may claim pages the input does not hold.
  if (size > (1 << 20)) return 0;
  pexo::MemoryDatabaseFileManager files;
  files.files["i.ndx"] = std::string(reinterpret_cast<const char*>(data), size);
  pexo::XBaseIndexFile index(&files);
  if (!index.OpenIndex("i.ndx")) {
    Expect(false, index);
    return 0;
  }
  Walk(&index, true, 4096);
  Walk(&index, false, 4096);
  bool found = false;
  uint32_t record = 0;
  Expect(index.FindKey("5", true, &found, &record), index);
  Expect(index.FindKey("a", false, &found, &record), index);
  std::vector<pexo::VRKIndexEntry> entries;
  std::string error;
  pexo::CheckIndexTree(&index, &entries, &error);
  for (uint32_t r = 1; r <= 12; ++r) Expect(index.InsertKey(r, std::to_string(r % 5)), index);
  for (uint32_t r = 1; r <= 12; r += 2) Expect(index.DeleteKey(r, std::to_string(r % 5)), index);
  Walk(&index, true, 4096);
  return 0;
}
