#include "io/json_encode.h"

#include <mpdecimal.h>

#include <unordered_set>
#include <vector>

#include "values/encoded_text.h"
#include "io/javascript_string.h"
#include "values/aggregate_tree.h"
#include "values/conversions.h"
#include "values/variable.h"

namespace pexo {

namespace {

// Magnitudes from 10^16 up are written as strings: their digits would not
// survive a reader that goes through binary doubles.
constexpr int64_t kLargestExponent = 15;

void AppendQuoted(LinkBuffer* out, const char* text, int32_t length, bool utf8) {
  out->append_char('"');
  AppendJavaScriptString(out, text, length, utf8);
  out->append_char('"');
}

void AppendDecimal(LinkBuffer* out, const mpd_t* value, bool utf8) {
  String text;
  DecimalToString(value, &text);
  if (mpd_isspecial(value)) {
    AppendQuoted(out, text.data(), text.length(), utf8);
  } else {
    out->append(text.data(), text.length());
  }
}

// Parses `text` as a number for the bare-number test; fills `number`.
bool ParseJsonNumber(const char* text, int32_t length, mpd_t* number) {
  if (length <= 0) return false;
  if (text[0] == '0') {
    bool zero = length == 1;
    bool fraction = length >= 3 && text[1] == '.';
    if (!zero && !fraction) return false;
  }
  if (!TextToDecimal(text, length, number)) return false;
  if (mpd_isspecial(number)) return false;
  return mpd_iszero(number) || mpd_adjexp(number) <= kLargestExponent;
}

void AppendText(LinkBuffer* out, const String& text, int flags, bool utf8) {
  if (flags & kJsonBooleans) {
    if (text.equals("true", 4) || text.equals("false", 5)) {
      out->append(text.data(), text.length());
      return;
    }
  }
  mpd_t* number = mpd_qnew();
  if (number && ParseJsonNumber(text.data(), text.length(), number)) {
    String digits;
    DecimalToString(number, &digits);
    out->append(digits.data(), digits.length());
  } else {
    AppendQuoted(out, text.data(), text.length(), utf8);
  }
  if (number) mpd_del(number);
}

void AppendScalar(LinkBuffer* out, Variable* value, int flags, bool utf8) {
  switch (value->Type()) {
    case kTypeInteger:
      out->append_int(value->Value_Integer());
      return;
    case kTypeDecimal:
      AppendDecimal(out, value->Value_Decimal(), utf8);
      return;
    default:
      break;
  }
  if (value->IsNULL()) {
    out->append("\"\"", 2);
    return;
  }
  AppendText(out, value->Value(), flags, utf8);
}

void AppendBreak(LinkBuffer* out, int flags, size_t depth) {
  if (!(flags & kJsonPretty)) return;
  out->append_char('\n');
  for (size_t i = 0; i < depth; i++) out->append_char('\t');
}

// One open container: its tree and the element written last.
struct Level {
  AggregateElementTree* tree;
  bool structure;
  AggregateElement* last;
};

class JsonWriter {
 public:
  JsonWriter(LinkBuffer* out, int flags, bool utf8) : out_(out), flags_(flags), utf8_(utf8) {}

  void Write(Variable* value) {
    Value(value);
    while (!open_.empty()) Step();
  }

 private:
  // Writes a scalar, or opens a container (its elements follow in Step).
  void Value(Variable* value) {
    value = value->RealIdentity();
    AggregateElementTree* tree = value->Aggregate();
    if (value->AggregateKind() == kKindScalar || !tree) {
      if (value->AggregateKind() == kKindScalar) {
        AppendScalar(out_, value, flags_, utf8_);
      } else {
        // An aggregate without a tree is empty.
        Empty(value->AggregateKind() == kKindStructure);
      }
      return;
    }
    if (!seen_.insert(tree).second) {
      out_->append("\"\"", 2);
      return;
    }
    bool structure = value->AggregateKind() == kKindStructure;
    out_->append_char(structure ? '{' : '[');
    open_.push_back(Level{tree, structure, nullptr});
    AppendBreak(out_, flags_, open_.size());
  }

  void Empty(bool structure) {
    out_->append_char(structure ? '{' : '[');
    AppendBreak(out_, flags_, open_.size() + 1);
    AppendBreak(out_, flags_, open_.size());
    out_->append_char(structure ? '}' : ']');
  }

  // Writes the next element of the innermost container, or closes it.
  void Step() {
    Level& level = open_.back();
    AggregateElement* next = level.last ? level.tree->Successor(level.last->Index())
                                        : level.tree->Minimum();
    if (!next) {
      bool structure = level.structure;
      seen_.erase(level.tree);
      open_.pop_back();
      AppendBreak(out_, flags_, open_.size());
      out_->append_char(structure ? '}' : ']');
      return;
    }
    if (level.last) {
      out_->append_char(',');
      AppendBreak(out_, flags_, open_.size());
    }
    level.last = next;
    if (level.structure) {
      const String& name = next->Index().Name();
      AppendQuoted(out_, name.data(), name.length(), utf8_);
      out_->append_char(':');
      if (flags_ & kJsonPretty) out_->append_char(' ');
    }
    Value(next->GetVariable());
  }

  LinkBuffer* out_;
  int flags_;
  bool utf8_;
  std::vector<Level> open_;
  std::unordered_set<const AggregateElementTree*> seen_;
};

}  // namespace

bool IsJsonNumberText(const char* text, int32_t length) {
  length = text_length(text, length);
  mpd_t* number = mpd_qnew();
  if (!number) return false;
  bool result = ParseJsonNumber(text, length, number);
  mpd_del(number);
  return result;
}

void AppendJson(LinkBuffer* out, Variable* value, int flags, bool utf8) {
  JsonWriter writer(out, flags, utf8);
  writer.Write(value);
}

char* JsonEncode(Variable* value, int flags, bool utf8, int32_t* out_length,
                 int32_t* out_capacity) {
  LinkBuffer out(1024, 4096);
  AppendJson(&out, value, flags, utf8);
  return ReleaseEncoded(&out, out_length, out_capacity);
}

}  // namespace pexo
