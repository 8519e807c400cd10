// Import: the reading state of one PxIMPORT loop, kept on its machine's
// service stack (kind 1) from the import instruction until the loop ends,
// PxIMPORTSTOP, or the return of the function that started it.
//
// Start() opens the file (data directory, read only), builds the target
// variables from the field text and compiles the filter; Next() reads lines
// until one passes the filter, splits it into the targets and raises the
// record counter held in "recno". Destroying the import closes the file.
#ifndef PEXO_DB_IMPORT_H_
#define PEXO_DB_IMPORT_H_

#include <cstdint>
#include <memory>

#include "db/flat_file_format.h"
#include "values/string.h"
#include "values/variable_list.h"
#include "vm/feature.h"

namespace pexo {

class File;
class Segment;
class Variable;

// What the script gave the loop.
struct ImportRequest {
  String file;
  String fields;
  String delimiter;
  String filter;  // empty: every line passes
};

class Import : public Feature {
 public:
  Import(PexoVM* vm, ImportRequest request);
  ~Import() override;

  // 1 when the loop can read; 0 with the message in ErrorText().
  int Start() override;
  // 1: a passing line is in the targets; 0: end of file; -1: the message is
  // in ErrorText() (empty when the machine stopped while filtering); -2:
  // code the filter ran stopped this import, which is destroyed.
  int Next();

 private:
  // Whether the current targets pass the filter; -1 when the machine
  // stopped while it ran, -2 as for Next().
  int Passes();

  ImportRequest request_;
  std::unique_ptr<File> file_;
  std::unique_ptr<FlatLineReader> reader_;
  String line_;
  VariableList targets_;
  Segment* filter_ = nullptr;  // owned by the program's segment manager
  Variable* recno_ = nullptr;  // one reference held
  int32_t count_ = 0;
};

}  // namespace pexo

#endif  // PEXO_DB_IMPORT_H_
