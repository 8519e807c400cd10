#include "db/xbase/xbase_index.h"

#include "db/xbase/xbase_expression.h"

namespace pexo {

XBaseIndex::XBaseIndex(PexoVM* vm, DatabaseFileManager* files, const String& database,
                       ExternalFunctionResolver* externals)
    : vm_(vm), database_(database), externals_(externals), file_(files) {}

bool XBaseIndex::CreateIndex(const String& file, const std::string& expression, uint32_t flags) {
  name_ = file;
  compiled_ = nullptr;
  return file_.CreateIndex(file.c_str(), expression, flags) || FileError();
}

bool XBaseIndex::OpenIndex(const String& file) {
  name_ = file;
  compiled_ = nullptr;
  return file_.OpenIndex(file.c_str()) || FileError();
}

bool XBaseIndex::KeyExpression(Segment** segment) {
  if (!compiled_) {
    const std::string& text = file_.header().expression;
    String expression;
    expression.assign(text.data(), static_cast<int32_t>(text.size()));
    if (!CompileDatabaseExpression(vm_, externals_, database_, expression,
                                   "Syntax error in index expression: ", &compiled_, &error_))
      return false;
  }
  *segment = compiled_;
  return true;
}

bool XBaseIndex::EvaluateKey(std::string* key) {
  Segment* segment = nullptr;
  if (!KeyExpression(&segment)) return false;
  return EvaluateDatabaseExpression(vm_, segment, key, &error_);
}

}  // namespace pexo
