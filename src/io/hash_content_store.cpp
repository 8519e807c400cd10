#include "io/hash_content_store.h"

#include "values/variable_hash.h"

namespace pexo {

bool HashContentStore::SetFormField(const char* name, int32_t name_length, const char* value,
                                    int32_t value_length) {
  return hash_->SetVariablePath(name, name_length, value, value_length, true) != 0;
}

Variable* HashContentStore::MakeVariable(const char* name) {
  Variable* variable = nullptr;
  if (!hash_->Lookup(name, -1, true, &variable)) return nullptr;
  return variable;
}

}  // namespace pexo
