// PersistentTable: extension data kept under case-insensitive names. An
// entry holds the data, its destructor and the program that registered it;
// destroying an entry (replacement, Remove, table destruction) calls the
// destructor with that program and the data, or frees the data with free()
// when there is no destructor. Not thread-safe: a table shared by requests
// is guarded by its owner.
#ifndef PEXO_EXT_PERSISTENT_TABLE_H_
#define PEXO_EXT_PERSISTENT_TABLE_H_

#include <cstdint>

#include "pexo/pexo.h"
#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

typedef PxPersistentDestructor PersistentDataDestructor;

class PersistentTable {
 public:
  explicit PersistentTable(int bits = 12);
  PersistentTable(const PersistentTable&) = delete;
  PersistentTable& operator=(const PersistentTable&) = delete;
  ~PersistentTable();

  // Stores an entry, destroying one of the same name first. 0 for an empty
  // name or when memory runs out (the data is then left to the caller).
  int Register(PexoProgram* program, const char* name, int32_t length, void* data,
               PersistentDataDestructor destructor);
  // The data of `name`, or null.
  void* Lookup(const char* name, int32_t length);
  int32_t count() const;

 private:
  struct Entry;
  HashTable<Entry>* table_;
};

}  // namespace pexo

#endif  // PEXO_EXT_PERSISTENT_TABLE_H_
