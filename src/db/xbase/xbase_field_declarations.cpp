#include "db/xbase/xbase_field_declarations.h"

#include <cctype>
#include <cstring>
#include <string>

namespace pexo {

namespace {

const char kDangling[] = "Dangling comma in field\tspecification";
const char kUnexpected[] = "Unexpected character following field declaration";
constexpr int32_t kMaxCharLength = 254;
constexpr int32_t kMaxNumberLength = 19;
constexpr size_t kMaxLengthText = 19;

bool Space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool StartsNoCase(const std::string& text, const char* word) {
  size_t n = std::strlen(word);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
  return true;
}

bool OnlySpace(const std::string& text, size_t from) {
  for (size_t i = from; i < text.size(); ++i)
    if (!Space(text[i])) return false;
  return true;
}

bool Fail(String* error, const char* message) {
  error->assign(message);
  return false;
}

// Reads digits at `at`; false when there are none. Large values saturate.
bool Digits(const std::string& text, size_t* at, int64_t* value) {
  size_t start = *at;
  *value = 0;
  while (*at < text.size() && std::isdigit(static_cast<unsigned char>(text[*at]))) {
    if (*value < 1000000) *value = *value * 10 + (text[*at] - '0');
    ++*at;
  }
  return *at > start;
}

bool ParseChar(const std::string& type, XBaseFieldDefinition* field, String* error) {
  const char* require = "Error in field specification: CHAR datatypes require a length";
  size_t open = type.find('(');
  size_t close = open == std::string::npos ? open : type.find(')', open);
  if (close == std::string::npos) return Fail(error, require);
  std::string inside = type.substr(open + 1, close - open - 1);
  if (inside.size() > kMaxLengthText) inside.resize(kMaxLengthText);
  int64_t length = std::atoll(inside.c_str());
  if (length <= 0) return Fail(error, require);
  if (length > kMaxCharLength)
    return Fail(error, "CHAR fields may\tonly be\t254 characters long, field is too long");
  if (!OnlySpace(type, close + 1)) return Fail(error, kUnexpected);
  field->type = kXBaseCharacter;
  field->length = static_cast<int32_t>(length);
  return true;
}

bool ParseNumber(const std::string& type, XBaseFieldDefinition* field, String* error) {
  size_t at = 6;
  while (at < type.size() && Space(type[at])) ++at;
  int64_t length = kMaxNumberLength;
  int64_t decimals = 0;
  if (at < type.size()) {
    if (type[at] != '(') return Fail(error, kUnexpected);
    ++at;
    int64_t whole = 0;
    if (!Digits(type, &at, &whole)) return Fail(error, kUnexpected);
    length = whole;
    if (at < type.size() && type[at] == '.') {
      ++at;
      if (!Digits(type, &at, &decimals)) return Fail(error, kUnexpected);
      length = whole + decimals + 1;
    }
    if (at >= type.size() || type[at] != ')') return Fail(error, kUnexpected);
    if (!OnlySpace(type, at + 1)) return Fail(error, kUnexpected);
  }
  if (length > kMaxNumberLength)
    return Fail(error, "NUMERIC\tfields may only\tbe 19 digits, field is too many digits");
  field->type = kXBaseNumeric;
  field->length = static_cast<int32_t>(length);
  field->decimals = static_cast<int32_t>(decimals);
  return true;
}

bool ParseType(const std::string& type, XBaseFieldDefinition* field, String* error) {
  if (StartsNoCase(type, "CHAR")) return ParseChar(type, field, error);
  if (StartsNoCase(type, "NUMBER")) return ParseNumber(type, field, error);
  struct Fixed {
    const char* word;
    int32_t type;
    int32_t length;
  };
  static const Fixed kFixed[] = {{"DATE", kXBaseDate, 8},
                                 {"BOOL", kXBaseLogical, 1},
                                 {"MEMO", kXBaseMemo, 10}};
  for (const Fixed& fixed : kFixed) {
    if (StartsNoCase(type, fixed.word)) {
      field->type = fixed.type;
      field->length = fixed.length;
      return true;
    }
  }
  return Fail(error, "Unknown field type in field specification");
}

bool ParseDeclaration(const std::string& text, std::vector<XBaseFieldDefinition>* fields,
                      String* error) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && Space(text[begin])) ++begin;
  while (end > begin && Space(text[end - 1])) --end;
  if (begin == end) return Fail(error, kDangling);
  size_t name_end = begin;
  while (name_end < end && !Space(text[name_end])) ++name_end;
  std::string name = text.substr(begin, name_end - begin);
  if (name.empty()) return Fail(error, "Empty field name in field specification");
  if (name.size() > 10)
    return Fail(error, "Field name is longer than the XBase limit of 10 characters");
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const XBaseFieldDefinition& other : *fields)
    if (other.name.equals_nocase(name.data(), static_cast<int32_t>(name.size())))
      return Fail(error, "Field name is used more than once in the field specification");
  size_t type_begin = name_end;
  while (type_begin < end && Space(text[type_begin])) ++type_begin;
  if (type_begin == end) return Fail(error, "Empty field type in field specification");
  XBaseFieldDefinition field;
  field.name.assign(name.data(), static_cast<int32_t>(name.size()));
  if (!ParseType(text.substr(type_begin, end - type_begin), &field, error)) return false;
  fields->push_back(field);
  return true;
}

}  // namespace

bool ParseFieldDeclarations(const char* text, int32_t length,
                             std::vector<XBaseFieldDefinition>* fields, String* error) {
  fields->clear();
  std::string all(text, static_cast<size_t>(length));
  if (OnlySpace(all, 0))
    return Fail(error, "Field specification does not define any\tfields");
  size_t start = 0;
  for (;;) {
    size_t comma = all.find(',', start);
    std::string declaration =
        all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!ParseDeclaration(declaration, fields, error)) {
      fields->clear();
      return false;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

}  // namespace pexo
