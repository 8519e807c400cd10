#include "vm/error_table.h"

#include <cctype>
#include <cstring>

#include "values/string.h"

namespace pexo {
namespace {

constexpr int32_t None = 0;
constexpr int32_t D = kTagErrorDisplay;
constexpr int32_t DF = kTagErrorDisplay | kTagErrorFatal;

#define PEXO_TAG_DEFAULT(id, name, flags) \
  {name, kTag##id == kTagExpression ? "PxEXPRESSION_Error" : name "_Error", flags},
const TagErrorSetting kDefaults[kTagCount + 1] = {
    PEXO_TAG_LIST(PEXO_TAG_DEFAULT)
    {nullptr, nullptr, 0},
};
#undef PEXO_TAG_DEFAULT

bool contains(const char* text, int32_t length, const char* word) {
  size_t word_length = std::strlen(word);
  for (int32_t i = 0; i + static_cast<int32_t>(word_length) <= length; ++i)
    if (std::memcmp(text + i, word, word_length) == 0) return true;
  return false;
}

}  // namespace

TagErrorTable::TagErrorTable() { std::memcpy(tags_, kDefaults, sizeof(tags_)); }

const TagErrorSetting* TagErrorTable::tag(int32_t number) const {
  return number >= 0 && number < kTagCount ? &tags_[number] : nullptr;
}

int32_t TagErrorTable::flags(int32_t number) const {
  const TagErrorSetting* setting = tag(number);
  return setting ? setting->flags : (kTagErrorDisplay | kTagErrorFatal);
}

void TagErrorTable::set_flags(int32_t number, int32_t flags) {
  if (number >= 0 && number < kTagCount) tags_[number].flags = flags;
}

int32_t TagErrorTable::find(const char* name, int32_t length) {
  length = text_length(name, length);
  for (int32_t i = 0; i < kTagCount; ++i) {
    const char* tag = kDefaults[i].name;
    if (equals_nocase(name, length, tag, static_cast<int32_t>(std::strlen(tag)))) return i;
  }
  return -1;
}

int TagErrorTable::set_from_text(const char* name, int32_t name_length, const char* text,
                                 int32_t text_length_) {
  int32_t number = find(name, name_length);
  if (number < 0) return 0;
  tags_[number].flags = TagFlagsFromText(text, text_length_);
  return 1;
}

int32_t TagFlagsFromText(const char* text, int32_t length) {
  length = text_length(text, length);
  int32_t flags = 0;
  if (contains(text, length, "fatal")) flags |= kTagErrorFatal;
  if (contains(text, length, "display")) flags |= kTagErrorDisplay;
  return flags;
}

}  // namespace pexo
