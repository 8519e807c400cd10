#include "aggregate_functions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "std_array.h"

namespace pexo {
namespace stdlib {
namespace {

bool RequireAggregate(StdCall& call) {
  if (pxVariable_Aggregate_Type(call.Arg(0)) > PX_AGGREGATE_SCALAR) return true;
  return call.Fail("the first argument is not an array or structure");
}

std::string_view ValueOf(PexoVariable* variable) {
  int32_t length = 0;
  const char* text = pxVariable_Value(variable, &length);
  return text && length > 0 ? std::string_view(text, static_cast<size_t>(length))
                            : std::string_view();
}

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

enum class SortOrder { kAuto, kText, kNoCase, kNumber };

struct SortMode {
  SortOrder order = SortOrder::kAuto;
  bool descending = false;
};

// Words separated by blanks or commas: auto, text, nocase, number, asc, desc.
bool ParseSortMode(std::string_view text, SortMode* mode) {
  std::string words = Folded(text);
  for (char& c : words)
    if (c == ',') c = ' ';
  size_t at = 0;
  while (at < words.size()) {
    size_t end = words.find(' ', at);
    if (end == std::string::npos) end = words.size();
    std::string_view word = std::string_view(words).substr(at, end - at);
    at = end + 1;
    if (word.empty() || word == "asc") continue;
    if (word == "desc") mode->descending = true;
    else if (word == "auto") mode->order = SortOrder::kAuto;
    else if (word == "text") mode->order = SortOrder::kText;
    else if (word == "nocase") mode->order = SortOrder::kNoCase;
    else if (word == "number") mode->order = SortOrder::kNumber;
    else return false;
  }
  return true;
}

// What an element sorts by, computed once so that the ordering is total
// and consistent whatever the values (NaN sorts after every number).
struct SortKey {
  PexoVariable* element;
  std::string text;
  double number;
};

bool Before(const SortKey& a, const SortKey& b, SortOrder order) {
  if (order == SortOrder::kNumber) {
    if (std::isnan(a.number) || std::isnan(b.number))
      return !std::isnan(a.number) && std::isnan(b.number);
    return a.number < b.number;
  }
  return a.text < b.text;  // bytes compared unsigned by char_traits
}

}  // namespace

void Count(StdCall& call) {
  PexoVariable* value = call.Arg(0);
  int32_t count = pxVariable_Aggregate_Type(value) > PX_AGGREGATE_SCALAR
                      ? pxVariable_ElementsUsed(value)
                      : 0;
  call.ReturnInteger(count);
}

void Keys(StdCall& call) {
  if (!RequireAggregate(call)) return;
  ElementList list(call.Arg(0));
  MakeEmptyArray(call.result());
  int32_t index = 0;
  for (PexoVariable* element : list.elements()) {
    int32_t length = 0;
    const char* name = pxVariable_Name(element, &length);
    SetTextElement(call.result(), ++index,
                   std::string_view(name ? name : "", static_cast<size_t>(name ? length : 0)));
  }
}

void Sort(StdCall& call) {
  SortMode mode;
  if (!ParseSortMode(call.Text(1), &mode)) {
    call.Fail("unknown sort mode '" + std::string(call.Text(1)) + "'");
    return;
  }
  if (!RequireAggregate(call)) return;
  ElementList list(call.Arg(0));
  if (mode.order == SortOrder::kAuto) {
    mode.order = SortOrder::kNumber;
    for (PexoVariable* element : list.elements()) {
      int32_t precision = 0, scale = 0;
      if (ValueOf(element).empty() ||
          !pxVariable_Value_Decimal_Size(element, &precision, &scale) || precision == 0) {
        mode.order = SortOrder::kText;
        break;
      }
    }
  }
  std::vector<SortKey> keys;
  keys.reserve(list.size());
  for (PexoVariable* element : list.elements()) {
    SortKey key{element, std::string(), 0.0};
    if (mode.order == SortOrder::kNumber) key.number = pxVariable_Value_Double(element);
    else if (mode.order == SortOrder::kNoCase) key.text = Folded(ValueOf(element));
    else key.text.assign(ValueOf(element));
    keys.push_back(std::move(key));
  }
  SortOrder order = mode.order;
  if (mode.descending)
    std::stable_sort(keys.begin(), keys.end(),
                     [order](const SortKey& a, const SortKey& b) { return Before(b, a, order); });
  else
    std::stable_sort(keys.begin(), keys.end(),
                     [order](const SortKey& a, const SortKey& b) { return Before(a, b, order); });
  MakeEmptyArray(call.result());
  int32_t index = 0;
  for (const SortKey& key : keys) SetCopiedElement(call.result(), ++index, key.element);
}

void Search(StdCall& call) {
  if (!RequireAggregate(call)) return;
  ElementList list(call.Arg(0));
  PexoVariable* wanted = call.Arg(1);
  for (PexoVariable* element : list.elements()) {
    if (pxProgram_Compare(call.program(), element, wanted) != 0) continue;
    int32_t length = 0;
    const char* name = pxVariable_Name(element, &length);
    if (pxVariable_Aggregate_Type(call.Arg(0)) == PX_AGGREGATE_ARRAY) {
      call.ReturnInteger(std::strtoll(std::string(name, static_cast<size_t>(length)).c_str(),
                                      nullptr, 10));
    } else {
      call.ReturnText(std::string_view(name, static_cast<size_t>(length)));
    }
    return;
  }
  call.ReturnText(std::string_view());
}

void Slice(StdCall& call) {
  if (!RequireAggregate(call)) return;
  ElementList list(call.Arg(0));
  int64_t size = static_cast<int64_t>(list.size());
  int64_t start = call.Int(1), count = call.Int(2);
  if (start < 0) start += size + 1;  // -1 is the last element
  if (start < 1) start = 1;
  MakeEmptyArray(call.result());
  int32_t index = 0;
  for (int64_t position = start; position <= size && position < start + count; ++position)
    SetCopiedElement(call.result(), ++index, list.elements()[static_cast<size_t>(position - 1)]);
}

}  // namespace stdlib
}  // namespace pexo
