// The table of tag error settings: 76 tags numbered 0..75, each with its
// name, the name of its error variable and a flags word (bit 0 display the
// message in the page, bit 1 the error is fatal). The process holds the
// defaults; every machine works on its own copy, so a program's changes last
// for its request only.
#ifndef PEXO_VM_ERROR_TABLE_H_
#define PEXO_VM_ERROR_TABLE_H_

#include <cstdint>

namespace pexo {

constexpr int32_t kTagCount = 76;
constexpr int32_t kTagErrorDisplay = 1;
constexpr int32_t kTagErrorFatal = 2;
// The tag under which errors of run-time expressions are reported.
constexpr int32_t kTagExpression = 62;

struct TagErrorSetting {
  const char* name;
  const char* variable;  // the tag's error variable
  int32_t flags;
};

class TagErrorTable {
 public:
  // A copy of the process defaults.
  TagErrorTable();

  // Null for a number outside 0..75.
  const TagErrorSetting* tag(int32_t number) const;
  int32_t flags(int32_t number) const;
  // Ignored for a number outside 0..75.
  void set_flags(int32_t number, int32_t flags);
  // Tag number by name (any letter case), or -1.
  static int32_t find(const char* name, int32_t length);

  // Replaces a tag's flags from a configured text: fatal when it contains
  // "fatal", displayed when it contains "display". Returns 0 for an unknown
  // tag name.
  int set_from_text(const char* name, int32_t name_length, const char* text,
                    int32_t text_length);

 private:
  TagErrorSetting tags_[kTagCount + 1];  // closed by an empty entry
};

// Flags word of a configured setting text (see set_from_text).
int32_t TagFlagsFromText(const char* text, int32_t length);

}  // namespace pexo

#endif  // PEXO_VM_ERROR_TABLE_H_
