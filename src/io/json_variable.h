// Building variables from JSON text.
//
// An object becomes a structure (a repeated key replaces the member), an
// array an array indexed from 1; strings and numbers become texts, true and
// false the texts "true" and "false" (which the encoder's kJsonBooleans
// writes back as literals), null an empty value. An empty object or array
// still makes the variable a structure or an array. On a syntax error the
// target is emptied and `error` holds the decoder's message.
#ifndef PEXO_IO_JSON_VARIABLE_H_
#define PEXO_IO_JSON_VARIABLE_H_

#include <cstdint>
#include <vector>

#include "io/json_decode.h"
#include "values/string.h"

namespace pexo {

class Variable;

class VariableJsonSink : public JsonSink {
 public:
  // `target` is borrowed and must outlive the sink.
  explicit VariableJsonSink(Variable* target) : target_(target) {}

  void BeginObject() override;
  void BeginArray() override;
  void EndContainer() override;
  void Key(const char* name, int32_t length) override;
  void StringValue(const char* text, int32_t length) override;
  void NumberValue(const char* text, int32_t length) override;
  void BooleanValue(bool value) override;
  void NullValue() override;
  void Reset() override;

 private:
  struct Open {
    Variable* container;
    int32_t count;  // elements so far (arrays)
  };
  // The variable the next value goes into, emptied.
  Variable* Slot();
  void Begin(int32_t kind);

  Variable* target_;
  std::vector<Open> open_;
  String key_;
};

bool JsonDecodeVariable(const char* text, int32_t length, Variable* target, String* error);

}  // namespace pexo

#endif  // PEXO_IO_JSON_VARIABLE_H_
