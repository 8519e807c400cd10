// Decodes arbitrary bytes into a sink that checks the event order: keys only
// inside objects, every container closed, nothing after a failure.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/json_decode.h"
#include "io/json_encode.h"
#include "io/json_variable.h"
#include "values/variable.h"

namespace {

class CheckingSink : public pexo::JsonSink {
 public:
  void BeginObject() override { Value(), open.push_back('{'); }
  void BeginArray() override { Value(), open.push_back('['); }
  void EndContainer() override {
    if (open.empty() || key_pending) std::abort();
    open.pop_back();
  }
  void Key(const char*, int32_t length) override {
    if (open.empty() || open.back() != '{' || key_pending || length < 0) std::abort();
    key_pending = true;
  }
  void StringValue(const char*, int32_t length) override { if (length < 0) std::abort(); Value(); }
  void NumberValue(const char*, int32_t length) override { if (length < 1) std::abort(); Value(); }
  void BooleanValue(bool) override { Value(); }
  void NullValue() override { Value(); }
  void Reset() override { reset = true; }

  void Value() {
    if (reset) std::abort();
    if (!open.empty() && open.back() == '{' && !key_pending) std::abort();
    key_pending = false;
  }
  std::vector<char> open;
  bool key_pending = false;
  bool reset = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  CheckingSink sink;
  pexo::String error;
  bool ok = pexo::JsonDecode(reinterpret_cast<const char*>(data), static_cast<int32_t>(size), &sink, &error);
  if (ok && (!sink.open.empty() || !error.empty() || sink.reset)) std::abort();
  if (!ok && (!sink.reset || error.length() < 24)) std::abort();

  // The same text into a variable: success and message agree with the
  // checked run, and a decoded value encodes and decodes to the same text.
  pexo::Variable value;
  pexo::String variable_error;
  bool built = pexo::JsonDecodeVariable(reinterpret_cast<const char*>(data), static_cast<int32_t>(size), &value, &variable_error);
  if (built != ok || !(variable_error == error)) std::abort();
  if (!built) {
    if (!value.IsNULL()) std::abort();
    return 0;
  }
  // Stray bytes are written as \u00XX and read back as UTF-8, which can
  // reorder members; from the first re-encoding on, the text is stable.
  int32_t length = 0, capacity = 0;
  char* first = pexo::JsonEncode(&value, pexo::kJsonBooleans, true, &length, &capacity);
  if (!first) std::abort();
  pexo::Variable settled;
  if (!pexo::JsonDecodeVariable(first, length, &settled, &variable_error)) std::abort();
  std::free(first);
  char* once = pexo::JsonEncode(&settled, pexo::kJsonBooleans, true, &length, &capacity);
  if (!once) std::abort();
  pexo::Variable again;
  if (!pexo::JsonDecodeVariable(once, length, &again, &variable_error)) std::abort();
  int32_t length2 = 0;
  char* twice = pexo::JsonEncode(&again, pexo::kJsonBooleans, true, &length2, &capacity);
  if (!twice || length2 != length || std::memcmp(once, twice, static_cast<size_t>(length)) != 0) std::abort();
  std::free(once);
  std::free(twice);
  return 0;
}
