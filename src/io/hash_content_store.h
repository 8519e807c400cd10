// The content parsers' variable store over a scope: form fields go through
// the scope's accumulating path assignment, raw bodies into plain
// variables made on demand.
#ifndef PEXO_IO_HASH_CONTENT_STORE_H_
#define PEXO_IO_HASH_CONTENT_STORE_H_

#include "io/content_parser.h"

namespace pexo {

class VariableHash;

class HashContentStore : public ContentVariableStore {
 public:
  // `hash` is borrowed.
  explicit HashContentStore(VariableHash* hash) : hash_(hash) {}

  bool SetFormField(const char* name, int32_t name_length, const char* value,
                    int32_t value_length) override;
  Variable* MakeVariable(const char* name) override;

 private:
  VariableHash* hash_;
};

}  // namespace pexo

#endif  // PEXO_IO_HASH_CONTENT_STORE_H_
