#include "ext/persistent_table.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace pexo {

struct PersistentTable::Entry {
  PexoProgram* program;
  void* data;
  PersistentDataDestructor destructor;
  ~Entry() {
    if (destructor)
      destructor(program, data);
    else
      free(data);
  }
};

PersistentTable::PersistentTable(int bits) : table_(new HashTable<Entry>(true, true, bits, 512)) {}

PersistentTable::~PersistentTable() { delete table_; }

int PersistentTable::Register(PexoProgram* program, const char* name, int32_t length, void* data,
                              PersistentDataDestructor destructor) {
  if (!name) return 0;
  if (length < 0) length = static_cast<int32_t>(strlen(name));
  if (length == 0) return 0;
  Entry* entry = new (std::nothrow) Entry{program, data, destructor};
  if (!entry) return 0;
  int32_t at = table_->find_index(name, length);
  if (at >= 0)
    table_->replace(at, entry);  // destroys the old entry
  else
    table_->insert(name, length, entry);
  return 1;
}

void* PersistentTable::Lookup(const char* name, int32_t length) {
  if (!name) return nullptr;
  Entry* entry = table_->find(name, length);
  return entry ? entry->data : nullptr;
}

int32_t PersistentTable::count() const { return table_->count(); }

}  // namespace pexo
