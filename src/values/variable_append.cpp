#include "values/variable.h"

namespace pexo {

int Variable::AppendValue(const char* text, int32_t length) {
  if (kind_ != kKindScalar) return 0;
  if (!(valid_ & kTextValid)) MakeString();
  bool appended = text_.append(text, length);
  valid_ = kTextValid;
  type_ = kTypeText;
  return appended ? 1 : 0;
}

}  // namespace pexo
