// XBaseIndex: one open index of an xBase database: its file and the key
// expression, compiled on first use in the database's program and evaluated
// against the view's current record.
#ifndef PEXO_DB_XBASE_XBASE_INDEX_H_
#define PEXO_DB_XBASE_XBASE_INDEX_H_

#include <string>

#include "db/xbase/xbase_index_file.h"
#include "values/string.h"

namespace pexo {

class ExternalFunctionResolver;
class PexoVM;
class Segment;

class XBaseIndex {
 public:
  XBaseIndex(PexoVM* vm, DatabaseFileManager* files, const String& database,
             ExternalFunctionResolver* externals);

  bool CreateIndex(const String& file, const std::string& expression, uint32_t flags);
  bool OpenIndex(const String& file);
  // The compiled expression ("Syntax error in index expression: ..." when
  // it does not compile).
  bool KeyExpression(Segment** segment);
  // The key of the current record.
  bool EvaluateKey(std::string* key);

  XBaseIndexFile& file() { return file_; }
  // The name as the script gave it.
  const String& Name() const { return name_; }
  const String& ErrorText() const { return error_; }
  // Takes the file's message.
  bool FileError() {
    error_ = file_.ErrorText();
    return false;
  }

 private:
  PexoVM* vm_;
  String database_;
  ExternalFunctionResolver* externals_;
  String name_;
  String error_;
  Segment* compiled_ = nullptr;
  XBaseIndexFile file_;
};

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_INDEX_H_
